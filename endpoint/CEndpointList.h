#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include <memory>

#include "QuillonC.h"

// A snapshot of the active render endpoints behind a QUILLON_ENDPOINT_LIST: each one's device
// key (narrowed as eFindByName compares it, and as the platform gives it), its friendly name as
// UTF-8 and UTF-16, and whether it is the default one. Made and freed in the library.
class CEndpointList
{
public:
    // Reads the endpoints through the platform's enumerator; a failing platform call fails the
    // whole list with its result. Enters COM on the calling thread for the length of the call.
    [[nodiscard]] static HRESULT Create(CEndpointList** ppList);
    ~CEndpointList() = default;

    UINT32 Count() const { return m_cEndpoints; }
    // The endpoint at iEndpoint, or null beyond the count.
    const QUILLON_ENDPOINT* At(UINT32 iEndpoint) const;

private:
    // One endpoint's strings and the view of them that the host reads.
    struct CEntry
    {
        std::unique_ptr<char[]> pszKey;
        std::unique_ptr<WCHAR[]> pwszKey;
        std::unique_ptr<char[]> pszName;
        std::unique_ptr<WCHAR[]> pwszName;
        QUILLON_ENDPOINT endpoint;
    };

    CEndpointList() = default;
    CEndpointList(const CEndpointList&) = delete;
    CEndpointList& operator=(const CEndpointList&) = delete;

    [[nodiscard]] static HRESULT Read(IMMDevice* pDevice, LPCWSTR pwszDefaultId, CEntry* pEntry);

    UINT32 m_cEndpoints = 0;
    std::unique_ptr<CEntry[]> m_rgEntries;
};
