#include "CSimAudioServer.h"

#include <string.h>

#include "SimVolumeRequest.h"

CSimAudioServer::CSimAudioServer()
    : m_iEndpoint(m_service.AddEndpoint(L"{0.0.0.00000000}.{demo-speakers}", L"Demo speakers")), m_hwnd(nullptr)
{
}

CSimAudioServer::~CSimAudioServer()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

bool CSimAudioServer::Create()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = SIMVOLUME_WINDOW_CLASS;
    RegisterClassA(&wc);
    m_hwnd = CreateWindowExA(0, SIMVOLUME_WINDOW_CLASS, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                             nullptr);
    if (!m_hwnd)
        return false;
    SetWindowLongPtrA(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return true;
}

LRESULT CALLBACK CSimAudioServer::WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    const auto pThis = reinterpret_cast<CSimAudioServer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (uMsg == WM_COPYDATA && pThis)
        return pThis->OnRequest(reinterpret_cast<const COPYDATASTRUCT*>(lParam)) ? TRUE : FALSE;
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

// The block comes from another program: its identifier, size and level are checked first.
bool CSimAudioServer::OnRequest(const COPYDATASTRUCT* pcds)
{
    if (!pcds || pcds->dwData != SIMVOLUME_REQUEST_ID || pcds->cbData != sizeof(SIMVOLUMEREQUEST) || !pcds->lpData)
        return false;
    SIMVOLUMEREQUEST request;
    memcpy(&request, pcds->lpData, sizeof(request));
    if (!(request.fLevel >= 0.0f && request.fLevel <= 1.0f))
        return false;
    m_service.ChangeAsOther(m_iEndpoint, request.fLevel, request.fMuted != 0, request.guidEventContext);
    // The requester learns that every client has been told once the message returns.
    m_service.Flush();
    return true;
}
