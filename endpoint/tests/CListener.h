#pragma once

#include "Quillon.h"

#include <mutex>
#include <vector>

// A host object that records every change it is told of.
class CListener : public CQuillon
{
public:
    struct Change
    {
        float fMasterVolume;
        bool bMuted;
        GUID guidEventContext;
    };

    CListener() = default;
    CListener(const CListener& source) : CQuillon(source) {}
    CListener& operator=(const CListener& source)
    {
        CQuillon::operator=(source);
        return *this;
    }

    void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_changes.push_back(Change{fMasterVolume, bMuted, guidEventContext});
    }

    std::vector<Change> Changes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_changes;
    }

private:
    std::mutex m_mutex;
    std::vector<Change> m_changes;
};
