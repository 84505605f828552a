#pragma once
// The handles a child process is to inherit, and nothing else. With
// bInheritHandles TRUE a child gets every inheritable handle of the daemon
// at that moment: a socket some thread just accepted, the pipe of another
// launch. An explicit list (PROC_THREAD_ATTRIBUTE_HANDLE_LIST) shuts out
// whatever is not on it, whoever made it inheritable.
#include <windows.h>

#include <vector>

#include "common/non_copyable.h"

class CInheritedHandles : private CNonCopyable {
public:
    // The handles must be inheritable; a null or invalid one is left out.
    explicit CInheritedHandles(std::vector<HANDLE> handles);
    ~CInheritedHandles();

    // False when the attribute list could not be built; the launch is then
    // not made at all rather than made with everything inheritable.
    bool Ready() const { return m_list != nullptr; }
    // For STARTUPINFOEXW::lpAttributeList (with EXTENDED_STARTUPINFO_PRESENT).
    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return m_list; }

private:
    // The list points into this vector, so it stays as long as the list.
    std::vector<HANDLE> m_handles;
    std::vector<BYTE> m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
};
