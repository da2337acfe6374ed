#pragma once

#include <windows.h>

// Owns a kernel handle (event, thread, process, file) and closes it when it goes. Both
// null and INVALID_HANDLE_VALUE mean "none", as the creating functions answer either.
class CScopedHandle
{
public:
    explicit CScopedHandle(HANDLE h = nullptr) : m_h(h) {}
    ~CScopedHandle() { Close(); }
    CScopedHandle(const CScopedHandle&) = delete;
    CScopedHandle& operator=(const CScopedHandle&) = delete;

    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    // Closes the handle now; the result of CloseHandle, FALSE when there was none.
    BOOL Close()
    {
        HANDLE h = m_h;
        m_h = nullptr;
        return h != nullptr && h != INVALID_HANDLE_VALUE ? CloseHandle(h) : FALSE;
    }

private:
    HANDLE m_h;
};
