#include "PngEncoder.h"

#include <iterator>

namespace
{
const uint8_t kabSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const uint8_t kbBitDepth = 8;
const uint8_t kbColourTypeRgb = 2;
const uint8_t kbFilterNone = 0;
// A stored (uncompressed) deflate block holds at most this many bytes.
const size_t kcbStoredBlockMax = 65535;
// PNG limits each dimension to 2^31 - 1; we also keep the whole file well inside memory.
const uint64_t kcbRawMax = 0x40000000;

uint32_t Crc32(const uint8_t* pb, size_t cb)
{
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> entries(256);
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
        return entries;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < cb; ++i)
        crc = table[(crc ^ pb[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

uint32_t Adler32(const std::vector<uint8_t>& data)
{
    const uint32_t kModulus = 65521;
    uint32_t a = 1;
    uint32_t b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % kModulus;
        b = (b + a) % kModulus;
    }
    return b << 16 | a;
}

void AppendBigEndian(std::vector<uint8_t>& out, uint32_t dw)
{
    const uint8_t ab[] = {static_cast<uint8_t>(dw >> 24), static_cast<uint8_t>(dw >> 16), static_cast<uint8_t>(dw >> 8),
                          static_cast<uint8_t>(dw)};
    out.insert(out.end(), std::begin(ab), std::end(ab));
}

// A chunk: its length, type and data, and a CRC over the type and the data.
void AppendChunk(std::vector<uint8_t>& out, const char (&szType)[5], const std::vector<uint8_t>& data)
{
    AppendBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t iType = out.size();
    out.insert(out.end(), szType, szType + 4);
    out.insert(out.end(), data.begin(), data.end());
    AppendBigEndian(out, Crc32(&out[iType], out.size() - iType));
}

std::vector<uint8_t> HeaderOf(uint32_t nWidth, uint32_t nHeight)
{
    std::vector<uint8_t> header;
    AppendBigEndian(header, nWidth);
    AppendBigEndian(header, nHeight);
    const uint8_t abRest[] = {kbBitDepth, kbColourTypeRgb, 0 /* deflate */, 0 /* adaptive filters */,
                              0 /* not interlaced */};
    header.insert(header.end(), std::begin(abRest), std::end(abRest));
    return header;
}

// PNG's raw image data: each row starts with its filter type, then red, green, blue per pixel.
std::vector<uint8_t> ScanlinesOf(uint32_t nWidth, uint32_t nHeight, const uint8_t* pbPixels)
{
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(nHeight) * (1 + 3 * static_cast<size_t>(nWidth)));
    for (uint32_t y = 0; y < nHeight; ++y) {
        raw.push_back(kbFilterNone);
        for (uint32_t x = 0; x < nWidth; ++x, pbPixels += 4) {
            raw.push_back(pbPixels[2]);
            raw.push_back(pbPixels[1]);
            raw.push_back(pbPixels[0]);
        }
    }
    return raw;
}

// A zlib stream of stored deflate blocks: valid for every decoder, and needs no compressor.
std::vector<uint8_t> StoredZlibStreamOf(const std::vector<uint8_t>& raw)
{
    std::vector<uint8_t> stream = {0x78, 0x01}; // deflate, 32 KB window, header check bits
    size_t iNext = 0;
    do {
        const size_t cb = raw.size() - iNext < kcbStoredBlockMax ? raw.size() - iNext : kcbStoredBlockMax;
        const bool bFinal = iNext + cb == raw.size();
        const uint16_t wLength = static_cast<uint16_t>(cb);
        const uint16_t wComplement = static_cast<uint16_t>(~wLength);
        const uint8_t abBlockHeader[] = {static_cast<uint8_t>(bFinal ? 1 : 0), static_cast<uint8_t>(wLength),
                                         static_cast<uint8_t>(wLength >> 8), static_cast<uint8_t>(wComplement),
                                         static_cast<uint8_t>(wComplement >> 8)};
        stream.insert(stream.end(), std::begin(abBlockHeader), std::end(abBlockHeader));
        stream.insert(stream.end(), raw.begin() + iNext, raw.begin() + iNext + cb);
        iNext += cb;
    } while (iNext < raw.size());
    AppendBigEndian(stream, Adler32(raw));
    return stream;
}
}

std::vector<uint8_t> EncodePngFromBgrx(uint32_t nWidth, uint32_t nHeight, const uint8_t* pbPixels)
{
    if (nWidth == 0 || nHeight == 0 || !pbPixels ||
        static_cast<uint64_t>(nHeight) * (1 + 3 * static_cast<uint64_t>(nWidth)) > kcbRawMax)
        return {};
    std::vector<uint8_t> png(std::begin(kabSignature), std::end(kabSignature));
    AppendChunk(png, "IHDR", HeaderOf(nWidth, nHeight));
    AppendChunk(png, "IDAT", StoredZlibStreamOf(ScanlinesOf(nWidth, nHeight, pbPixels)));
    AppendChunk(png, "IEND", {});
    return png;
}
