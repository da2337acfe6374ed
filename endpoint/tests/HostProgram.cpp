// A host as a user builds one: only the delivered header and import library, and global new
// and delete of its own. Exits 0 when the library loads, its exports link, objects of the
// class (plain and derived, single and in arrays) are allocated and freed without a block of
// the host's heap crossing into the library or back, and the default endpoint can be read.
#include <Quillon.h>

#include <cstdio>
#include <cstdlib>

namespace
{

class CHostVolume : public CQuillon
{
public:
    void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID) override
    {
        printf("volume changed: %.2f%s\n", static_cast<double>(fMasterVolume), bMuted ? " muted" : "");
    }
};

// Calls of the host's own operators: none may come from the class's allocations.
long g_cHostNew = 0;
long g_cHostDelete = 0;

// Allocates, frees and constructs in place every way a host may; true when none of it went
// through the host's heap.
bool AllocatedInTheLibrary()
{
    long cNew = g_cHostNew;
    long cDelete = g_cHostDelete;
    delete new CQuillon;
    delete new CHostVolume;
    delete new (std::nothrow) CHostVolume;
    delete[] new CQuillon[3];
    delete[] new CHostVolume[2];
    delete[] new (std::nothrow) CHostVolume[2];
    alignas(CHostVolume) unsigned char rgbPlace[sizeof(CHostVolume)];
    (new (rgbPlace) CHostVolume)->~CHostVolume();
    bool bNoneHere = g_cHostNew == cNew && g_cHostDelete == cDelete;
    int* volatile pnControl = new int; // the host's operators are in use
    delete pnControl;
    return bNoneHere && g_cHostNew == cNew + 1 && g_cHostDelete == cDelete + 1;
}

}

void* operator new(size_t cb)
{
    ++g_cHostNew;
    void* pv = malloc(cb ? cb : 1);
    if (!pv)
        abort();
    return pv;
}

void operator delete(void* pv) noexcept
{
    if (pv)
        ++g_cHostDelete;
    free(pv);
}

void operator delete(void* pv, size_t) noexcept
{
    operator delete(pv);
}

int main()
{
    auto pfnVersion =
        reinterpret_cast<int (*)()>(GetProcAddress(GetModuleHandleA("Quillon.dll"), "Quillon_GetDllVersion"));
    if (Quillon_GetDllVersion() != 1001 || !pfnVersion || pfnVersion() != 1001)
        return 1;
    if (!AllocatedInTheLibrary()) {
        printf("the host's own new or delete served a CQuillon\n");
        return 4;
    }

    CHostVolume volume;
    float fLevel = 0.0f;
    bool bMuted = false;
    if (!volume.Initialize(eFindDefault, nullptr) || !volume.GetVolume(&fLevel, true) || !volume.GetMute(&bMuted))
        return 2;
    CHostVolume copy(volume);
    copy = volume;
    if (!copy.GetVolume(&fLevel, false))
        return 3;
    printf("default endpoint: %.1f dB%s\n", static_cast<double>(fLevel), bMuted ? ", muted" : "");
    return 0;
}
