// A host as a user builds one: only the delivered header and import library. Exits 0 when
// the library loads, its exports link and the default endpoint can be read.
#include <Quillon.h>

#include <cstdio>

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

}

int main()
{
    auto pfnVersion =
        reinterpret_cast<int (*)()>(GetProcAddress(GetModuleHandleA("Quillon.dll"), "Quillon_GetDllVersion"));
    if (Quillon_GetDllVersion() != 1001 || !pfnVersion || pfnVersion() != 1001)
        return 1;

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
