#pragma once
// Owning wrappers for kernel handles, shared by both deliverables.
#include <windows.h>

#include <utility>

template <typename Traits>
class UniqueHandleT {
public:
    using Handle = typename Traits::Handle;

    UniqueHandleT() = default;
    explicit UniqueHandleT(Handle h) : m_handle(h) {}
    ~UniqueHandleT() { reset(); }

    UniqueHandleT(const UniqueHandleT&) = delete;
    UniqueHandleT& operator=(const UniqueHandleT&) = delete;
    UniqueHandleT(UniqueHandleT&& other) noexcept : m_handle(other.release()) {}
    UniqueHandleT& operator=(UniqueHandleT&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Handle get() const { return m_handle; }
    Handle* put() { reset(); return &m_handle; }
    Handle release() { return std::exchange(m_handle, Traits::Invalid()); }
    void reset(Handle h = Traits::Invalid()) {
        if (Traits::IsValid(m_handle)) Traits::Close(m_handle);
        m_handle = h;
    }
    explicit operator bool() const { return Traits::IsValid(m_handle); }

private:
    Handle m_handle = Traits::Invalid();
};

// Handles that are null when absent (threads, processes, events, mutexes).
struct NullHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};

using UniqueHandle = UniqueHandleT<NullHandleTraits>;

// Other handles that are null when absent, closed by one function:
// UniqueHandleT<NullableHandleTraits<HKEY, ::RegCloseKey>>.
template <typename H, auto CloseFunction>
struct NullableHandleTraits {
    using Handle = H;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { CloseFunction(h); }
};

// Scope guard for a CRITICAL_SECTION.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& cs) : m_cs(cs) { ::EnterCriticalSection(&m_cs); }
    ~CriticalSectionLock() { ::LeaveCriticalSection(&m_cs); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& m_cs;
};
