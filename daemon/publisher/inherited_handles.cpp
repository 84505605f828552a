#include "daemon/publisher/inherited_handles.h"

#include <algorithm>

CInheritedHandles::CInheritedHandles(std::vector<HANDLE> handles) : m_handles(std::move(handles)) {
    m_handles.erase(std::remove_if(m_handles.begin(), m_handles.end(),
                                   [](HANDLE h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }),
                    m_handles.end());
    // The list refuses one handle named twice (standard output and error
    // are often the same).
    std::sort(m_handles.begin(), m_handles.end());
    m_handles.erase(std::unique(m_handles.begin(), m_handles.end()), m_handles.end());
    if (m_handles.empty()) return;

    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    m_storage.resize(size);
    auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
    if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    if (!::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, m_handles.data(),
                                     m_handles.size() * sizeof(HANDLE), nullptr, nullptr)) {
        ::DeleteProcThreadAttributeList(list);
        return;
    }
    m_list = list;
}

CInheritedHandles::~CInheritedHandles() {
    if (m_list) ::DeleteProcThreadAttributeList(m_list);
}
