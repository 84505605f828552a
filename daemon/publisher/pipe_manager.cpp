#include "daemon/publisher/pipe_manager.h"

#include <algorithm>

PipeManager::~PipeManager() = default;

void PipeManager::Append(UniqueHandle thread) {
    std::lock_guard<std::mutex> guard(m_mutex);
    ForgetFinished();
    m_records.push_back(Record{std::move(thread)});
}

size_t PipeManager::RunningReaders() {
    std::lock_guard<std::mutex> guard(m_mutex);
    ForgetFinished();
    return m_records.size();
}

void PipeManager::ForgetFinished() {
    m_records.erase(std::remove_if(m_records.begin(), m_records.end(),
                                   [](const Record& r) {
                                       return ::WaitForSingleObject(r.m_thread.get(), 0) == WAIT_OBJECT_0;
                                   }),
                    m_records.end());
}

PipeManager& ThePipeManager() {
    // Deliberately leaked: readers may still be ending while the process exits.
    static PipeManager* manager = new PipeManager();
    return *manager;
}
