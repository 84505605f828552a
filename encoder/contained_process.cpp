#include "encoder/contained_process.h"

namespace {

// An inheritable duplicate, or null for a handle that is absent.
UniqueHandle InheritableCopy(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return UniqueHandle();
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE,
                           DUPLICATE_SAME_ACCESS))
        return UniqueHandle();
    return UniqueHandle(copy);
}

}  // namespace

UniqueHandle OpenNullInput() {
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0,
                               nullptr);
    return UniqueHandle(nul == INVALID_HANDLE_VALUE ? nullptr : nul);
}

bool StartContained(const std::wstring& commandLine, const ChildHandles& handles, DWORD creationFlags,
                    COwnedProcess& child, DWORD& error) {
    UniqueHandle input = InheritableCopy(handles.input);
    UniqueHandle output = InheritableCopy(handles.output);
    UniqueHandle errorOutput = InheritableCopy(handles.error);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = input.get();
    si.hStdOutput = output.get();
    si.hStdError = errorOutput.get();
    if (!child.Start(nullptr, commandLine, true, creationFlags, si)) {
        error = child.StartError();
        return false;
    }
    return true;
}
