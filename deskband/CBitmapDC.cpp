#include "CBitmapDC.h"

// Stand-in until the desk band lands.
CBitmapDC::CBitmapDC() : m_hDC(nullptr), m_hBitmap(nullptr), m_hOldBitmap(nullptr), m_pBits(nullptr),
    m_bCreated(FALSE), m_nWidth(0), m_nHeight(0), m_bmi() {}
CBitmapDC::~CBitmapDC() { Destroy(); }
void CBitmapDC::Create(int, int, int) {}
void CBitmapDC::Destroy() {}
