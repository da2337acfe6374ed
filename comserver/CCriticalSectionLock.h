#pragma once

#include <windows.h>

// Holds a critical section for the lifetime of a scope.
class CCriticalSectionLock
{
public:
    explicit CCriticalSectionLock(CRITICAL_SECTION& cs) : m_pcs(&cs) { EnterCriticalSection(m_pcs); }
    ~CCriticalSectionLock() { LeaveCriticalSection(m_pcs); }

private:
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

    CRITICAL_SECTION* m_pcs;
};
