#pragma once

// A small PNG encoder for the reference host, so that it needs no image library. It depends
// on the C++ standard library only, so it also builds and is tested natively.

#include <stddef.h>
#include <stdint.h>

#include <vector>

// Encodes nWidth x nHeight pixels laid out as the band's snapshot lays them out (32-bit
// top-down rows, bytes blue, green, red, spare) as the bytes of a PNG file: 8-bit RGB (the
// spare byte carries no alpha and is dropped), its image data in uncompressed deflate blocks.
// Returns an empty vector for an empty or impossibly large image, which PNG cannot hold.
std::vector<uint8_t> EncodePngFromBgrx(uint32_t nWidth, uint32_t nHeight, const uint8_t* pbPixels);
