#include "CDemoTaskbar.h"

#include <math.h>

#include "CScopedGdiObject.h"
#include "CScopedSelection.h"
#include "TopDownDib.h"

namespace
{
const char kszTaskbarClass[] = "VeltrixDemoTaskbar";
const int kHeight = 40;
const COLORREF kcrTop = RGB(74, 104, 156);
const COLORREF kcrBottom = RGB(18, 30, 58);

uint8_t Blend(int nFrom, int nTo, double t)
{
    return static_cast<uint8_t>(nFrom + (nTo - nFrom) * t + 0.5);
}

uint8_t Clamp(double d)
{
    return static_cast<uint8_t>(d < 0 ? 0 : d > 255 ? 255 : d);
}

// A small, repeatable grain, so that neighbouring pixels differ as they do on a real theme.
int Grain(int x, int y)
{
    uint32_t n = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
    n = (n ^ (n >> 13)) * 1274126177u;
    return static_cast<int>((n >> 24) % 7) - 3;
}
}

CDemoTaskbar::CDemoTaskbar() : m_hwnd(nullptr), m_nWidth(GetSystemMetrics(SM_CXSCREEN)), m_nHeight(kHeight) {}

CDemoTaskbar::~CDemoTaskbar()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

bool CDemoTaskbar::Create()
{
    MakeShading();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kszTaskbarClass;
    RegisterClassA(&wc);
    const int y = GetSystemMetrics(SM_CYSCREEN) - m_nHeight;
    m_hwnd =
        CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kszTaskbarClass, "Demo taskbar", WS_POPUP | WS_CLIPCHILDREN,
                        0, y, m_nWidth, m_nHeight, nullptr, nullptr, wc.hInstance, this);
    if (!m_hwnd)
        return false;
    ShowWindow(m_hwnd, SW_SHOWNOACTIVATE);
    UpdateWindow(m_hwnd);
    return true;
}

COLORREF CDemoTaskbar::GetBaseColour() const
{
    return kcrBottom;
}

LRESULT CALLBACK CDemoTaskbar::WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_NCCREATE) {
        const auto pcs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pcs->lpCreateParams));
    }
    const auto pThis = reinterpret_cast<const CDemoTaskbar*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (uMsg) {
    // Both paint the whole background into the given device context: WM_PRINTCLIENT is how
    // a child (the band) asks for what lies behind it.
    case WM_ERASEBKGND:
    case WM_PRINTCLIENT:
        if (!pThis)
            break;
        pThis->Paint(reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

// A vertical gradient lit by a soft sheen from the left, a bright top edge and a fine grain.
void CDemoTaskbar::MakeShading()
{
    m_shading.resize(static_cast<size_t>(m_nWidth) * m_nHeight);
    for (int y = 0; y < m_nHeight; ++y) {
        const double t = static_cast<double>(y) / (m_nHeight - 1);
        const int r = Blend(GetRValue(kcrTop), GetRValue(kcrBottom), t);
        const int g = Blend(GetGValue(kcrTop), GetGValue(kcrBottom), t);
        const int b = Blend(GetBValue(kcrTop), GetBValue(kcrBottom), t);
        for (int x = 0; x < m_nWidth; ++x) {
            const double dSheen = (x - m_nWidth * 0.35) / (m_nWidth * 0.2);
            const double dLight = (y == 0 ? 60.0 : 0.0) + 28.0 * exp(-dSheen * dSheen) * (1.0 - t) + Grain(x, y);
            m_shading[static_cast<size_t>(y) * m_nWidth + x] =
                Clamp(r + dLight) << 16 | Clamp(g + dLight) << 8 | Clamp(b + dLight * 1.2);
        }
    }
}

void CDemoTaskbar::Paint(HDC hdc) const
{
    const BITMAPINFO bmi = TopDownDib(m_nWidth, m_nHeight);
    SetDIBitsToDevice(hdc, 0, 0, m_nWidth, m_nHeight, 0, 0, 0, m_nHeight, m_shading.data(), &bmi, DIB_RGB_COLORS);
    PaintButtons(hdc);
    PaintClock(hdc);
}

// A round start button and a row of program buttons, every fourth one pressed.
void CDemoTaskbar::PaintButtons(HDC hdc) const
{
    CScopedGdiObject<HBRUSH> start(CreateSolidBrush(RGB(52, 168, 83)));
    CScopedSelection pen(hdc, GetStockObject(NULL_PEN));
    CScopedSelection brush(hdc, start.Get());
    Ellipse(hdc, 6, 4, 6 + m_nHeight - 8, m_nHeight - 4);

    const COLORREF acrIcons[] = {RGB(234, 67, 53),  RGB(251, 188, 5), RGB(66, 133, 244),
                                 RGB(171, 71, 188), RGB(0, 172, 193), RGB(255, 112, 67)};
    const int cxButton = 150;
    for (int i = 0, x = 52; x + cxButton < m_nWidth - 90; ++i, x += cxButton + 6) {
        CScopedGdiObject<HBRUSH> button(CreateSolidBrush(i % 4 == 1 ? RGB(96, 128, 180) : RGB(44, 62, 100)));
        {
            CScopedSelection buttonBrush(hdc, button.Get());
            RoundRect(hdc, x, 4, x + cxButton, m_nHeight - 4, 6, 6);
        }
        CScopedGdiObject<HBRUSH> icon(CreateSolidBrush(acrIcons[i % 6]));
        CScopedSelection iconBrush(hdc, icon.Get());
        RoundRect(hdc, x + 8, 10, x + 8 + m_nHeight - 20, m_nHeight - 10, 4, 4);
    }
}

void CDemoTaskbar::PaintClock(HDC hdc) const
{
    RECT rcClock = {m_nWidth - 84, 0, m_nWidth - 8, m_nHeight};
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, RGB(235, 240, 250));
    DrawTextA(hdc, "12:34", -1, &rcClock, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}
