#pragma once

// Quillon: master volume and mute of an audio render endpoint, and notice of changes that
// others make to them. This header and the import library are all a host needs. The class
// links only with the compiler that built the library; QuillonC.h (included here, and usable
// on its own) offers the same through C functions to any compiler or language.

#include <windows.h>

#include <cstddef>
#include <new>

#include "QuillonC.h"

// How Initialize chooses its endpoint.
enum eFindDevice
{
    eFindDefault = 0, // the default render endpoint of the console role (any value but 1)
    eFindByName = 1   // the active render endpoint whose device key matches the name
};

class CQuillonInternal;

// One audio render endpoint's volume control. Derive from it and override OnVolumeChanged
// to hear of changes made by others. Every bool result is true exactly when the platform
// call succeeded; without an opened endpoint the operations return false.
//
// No exception leaves the library, and no memory crosses between the host's heap and the
// library's: objects of this class and of classes derived from it are allocated and freed by
// the library's own operators below.
//
// COM: the constructor enters its thread into COM (a single-threaded apartment) and notes
// whether that added to the thread's COM count (S_OK and S_FALSE add one; a thread already in
// the multithreaded apartment gets RPC_E_CHANGED_MODE and nothing is added). The library gives
// that count back, on that thread only, when the last object sharing the implementation goes
// away there; when it goes away on another thread, the count stays with the constructing
// thread, which keeps its apartment until it ends or gives the count back itself. Initialize
// enters COM on its own thread for the length of the call only.
//
// Threads: OnVolumeChanged runs on the platform's notification thread (after a move to a new
// default endpoint, on a thread-pool thread), one call at a time, concurrently with the host's
// calls on this object, and that thread never waits for the library. The destructor,
// the assignment and Initialize stop this object's notifications for the endpoint they let go
// of: once they return, no OnVolumeChanged starts for it. Called outside OnVolumeChanged,
// they first wait for an OnVolumeChanged already running on this object to return. Called
// inside one (of this object, or of another CQuillon not being notified elsewhere), they
// return at once: the unregistration and the release of the endpoint finish on a thread-pool
// thread, which keeps the library loaded until it is done; so an object may destroy itself in
// its own OnVolumeChanged. The one rule left to the host: an override must not wait for a
// thread that may be destroying, assigning or initialising the object, since that thread may
// be waiting for the override to return (post to it, don't send).
class QUILLON_API CQuillon
{
public:
    // Makes the implementation and enters this thread into COM (see above). Never throws:
    // when memory runs out the object has no implementation, COM is left as it was, and every
    // operation returns false.
    CQuillon();
    // A copy shares the source's endpoint and event context; it is not notified itself
    // (unless it calls Initialize, see there).
    CQuillon(const CQuillon& source);
    // Shares the source's endpoint instead of this object's; if this object was the one
    // notified for its previous endpoint, those notifications stop as in the destructor.
    CQuillon& operator=(const CQuillon& source);
    // Stops this object's notifications (see Threads above) and releases the endpoint once
    // no copy uses it any more.
    virtual ~CQuillon();

    // Opens the endpoint and registers for change notification; true when both succeeded,
    // false also without an implementation or when memory runs out. pszName (8-bit text,
    // compared without regard to ASCII case) is read only with eFindByName. A second call
    // releases the first call's endpoint. On the object whose constructor made the
    // implementation, it must not run concurrently with other calls on this object or its
    // copies. On any other object (a copy, or the target of an assignment) it never touches
    // the shared endpoint: the object lets go of it and becomes the owner of an endpoint of
    // its own, notified from then on (when memory runs out it returns false and shares as
    // before). So a copy's Initialize is safe while the original is used or destroyed on
    // another thread.
    bool Initialize(eFindDevice eFind, const char* pszName);
    // As Initialize(eFindDefault, ...), and then follows the default render endpoint of the
    // console role: when it changes or the endpoint goes away (removed, disabled, unplugged),
    // the object moves to the new default on a thread-pool thread and reports that endpoint's
    // level and mute state through OnVolumeChanged with QUILLON_CONTEXT_ENDPOINT_MOVED. Its own
    // changes stay unreported on every endpoint; calls made meanwhile reach the old or the new
    // endpoint, never a released one; until a new default exists it stays where it is. The
    // rules of Initialize apply; copies share the endpoint and its moves until this object goes.
    bool InitializeFollowingDefault();
    // Mutes or unmutes the endpoint.
    bool SetMute(bool bMute);
    // Reads the mute state into *pbMute; leaves it unchanged on failure.
    bool GetMute(bool* pbMute);
    // Sets the master volume: bScalar true for 0.0 to 1.0, false for decibels within the
    // endpoint's range. Levels out of range are refused.
    bool SetVolume(float fLevel, bool bScalar);
    // Reads the master volume into *pfLevel, as a scalar level or in decibels.
    bool GetVolume(float* pfLevel, bool bScalar);
    // Diagnostics on the scalar level: 1 steps up by 0.01, 2 steps down by 0.01 (both
    // clamped to 0.0 to 1.0), 3 traces it; other modes do nothing.
    void Test(int nMode);

    // Called on the platform's notification thread, concurrently with the host's calls,
    // when another program or another CQuillon changes the endpoint's master volume (scalar),
    // a channel volume or the mute state; never for this object's own changes. guidEventContext
    // is the changer's (GUID_NULL when it gave none). The base version does nothing. An
    // override must not throw, and must follow the rule under Threads above. It may still be
    // running while a derived destructor runs (~CQuillon waits for it afterwards), so it should
    // touch only what outlives that: atomics, a window to post to.
    virtual void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext);

    // A snapshot of the active render endpoints (device keys for eFindByName, names, and which
    // is the default); read and free it with the functions of QuillonC.h.
    static HRESULT ListEndpoints(QUILLON_ENDPOINT_LIST** ppList);

    // Allocation and deallocation in the library, for this class and every derived class.
    // They never throw: when memory runs out, new gives null (as new (std::nothrow) does).
    static void* operator new(size_t cb) noexcept;
    static void* operator new[](size_t cb) noexcept;
    static void* operator new(size_t cb, const std::nothrow_t&) noexcept;
    static void* operator new[](size_t cb, const std::nothrow_t&) noexcept;
    static void operator delete(void* pv) noexcept;
    static void operator delete[](void* pv) noexcept;
    static void operator delete(void* pv, size_t cb) noexcept;
    static void operator delete[](void* pv, size_t cb) noexcept;
    static void operator delete(void* pv, const std::nothrow_t&) noexcept;
    static void operator delete[](void* pv, const std::nothrow_t&) noexcept;
    // Placement, which the operators above would otherwise hide: the caller owns the memory.
    static void* operator new(size_t, void* pv) noexcept { return pv; }
    static void* operator new[](size_t, void* pv) noexcept { return pv; }
    static void operator delete(void*, void*) noexcept {}
    static void operator delete[](void*, void*) noexcept {}

private:
    // The implementation serves the C interface's handles through this member too.
    friend class CQuillonInternal;

    CQuillonInternal* m_pImpl;
};
