// A host of the class as a user builds one: only the delivered header and import library, and
// global new and delete of its own. Exits 0 when objects of the class (plain and derived, single
// and in arrays) are allocated and freed without a block of the host's heap crossing into the
// library or back, and the platform's default endpoint can be read through the class.
#include <Quillon.h>

#include <cstdio>
#include <cstdlib>

namespace
{

struct CHostVolume : CQuillon
{
    void OnVolumeChanged(float, bool, GUID) override {}
};

// Calls of the host's own operators.
long g_cHostNew = 0;
long g_cHostDelete = 0;

}

void* operator new(size_t cb)
{
    ++g_cHostNew;
    void* pv = malloc(cb ? cb : 1);
    return pv ? pv : (abort(), nullptr);
}

void operator delete(void* pv) noexcept
{
    g_cHostDelete += pv != nullptr;
    free(pv);
}

void operator delete(void* pv, size_t) noexcept
{
    operator delete(pv);
}

int main()
{
    delete new CQuillon;
    delete new CHostVolume;
    delete new (std::nothrow) CHostVolume;
    delete[] new CQuillon[3];
    delete[] new (std::nothrow) CHostVolume[2];
    alignas(CHostVolume) unsigned char rgbPlace[sizeof(CHostVolume)];
    (new (rgbPlace) CHostVolume)->~CHostVolume();
    if (g_cHostNew != 0 || g_cHostDelete != 0) {
        printf("the host's own new or delete served a CQuillon\n");
        return 1;
    }
    int* volatile pnControl = new int; // the host's operators are the ones in use
    delete pnControl;
    CHostVolume volume;
    float fLevel = 0.0f;
    if (g_cHostNew != 1 || g_cHostDelete != 1 || !volume.Initialize(eFindDefault, nullptr) ||
        !volume.GetVolume(&fLevel, false))
        return 2;
    printf("default endpoint: %.1f dB\n", static_cast<double>(fLevel));
    return 0;
}
