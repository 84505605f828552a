#include "daemon/publisher/status_board.h"

#include <chrono>

unsigned CStatusBoard::Starting(StatusKind kind, int level, const std::string& device, int attempt) {
    std::lock_guard<std::mutex> guard(m_mutex);
    StatusRecord& record = Record(kind);
    const std::string format = record.device == device ? record.format : std::string();
    const uint64_t version = record.version;
    record = StatusRecord();
    record.version = version;
    record.state = StatusState::Starting;
    record.generation = m_nextGeneration++;
    record.level = level;
    record.device = device;
    // The format stays known across restarts of the same webcam.
    record.format = format;
    record.attempt = attempt;
    Changed(record);
    return record.generation;
}

void CStatusBoard::Progress(unsigned generation, const ProgressLine& progress) {
    std::lock_guard<std::mutex> guard(m_mutex);
    StatusRecord& record = m_publish;
    if (record.generation != generation) return;
    const bool moved = progress.frames > record.progress.frames;
    record.progress = progress;
    if (!moved) return;
    const ULONGLONG now = ::GetTickCount64();
    record.lastProgress = now;
    if (record.state != StatusState::Starting && record.state != StatusState::Stalled) return;
    if (record.state == StatusState::Starting) record.runningSince = now;
    record.state = StatusState::Running;
    // What was said before the frames moved was survived (QvShow.exe's
    // encoder probes, FFmpeg's warnings): a later failure has its own cause.
    record.firstError.clear();
    Changed(record);
}

void CStatusBoard::CheckStall() {
    std::lock_guard<std::mutex> guard(m_mutex);
    StatusRecord& record = m_publish;
    if (record.state != StatusState::Running) return;
    const ULONGLONG now = ::GetTickCount64();
    if (now - record.lastProgress >= kStallAfterMs) Stall(record, now);
}

void CStatusBoard::Stall(StatusRecord& record, ULONGLONG now) {
    record.state = StatusState::Stalled;
    record.progress.fps = 0;
    record.progress.kbps = 0;
    // The healthy time ends where the frames stopped.
    record.stalledSince = record.lastProgress ? record.lastProgress : now;
    Changed(record);
}

void CStatusBoard::Encoder(unsigned generation, const std::string& encoder) {
    std::lock_guard<std::mutex> guard(m_mutex);
    StatusRecord& record = m_publish;
    if (record.generation != generation || record.encoder == encoder) return;
    record.encoder = encoder;
    Changed(record);
}

void CStatusBoard::Delivering(unsigned generation, const std::string& format) {
    std::lock_guard<std::mutex> guard(m_mutex);
    StatusRecord& record = m_camera;
    if (record.generation != generation || record.state != StatusState::Starting) return;
    record.state = StatusState::Running;
    record.runningSince = ::GetTickCount64();
    record.format = format;
    Changed(record);
}

void CStatusBoard::ErrorLine(StatusKind kind, unsigned generation, const std::string& line) {
    std::lock_guard<std::mutex> guard(m_mutex);
    StatusRecord& record = Record(kind);
    if (record.generation != generation || !record.firstError.empty()) return;
    record.firstError = line;
    if (record.state == StatusState::Retrying || record.state == StatusState::Failed) {
        record.reason = line;
        Changed(record);
    }
}

void CStatusBoard::Retrying(StatusKind kind, const std::string& words, DWORD retryInMs, int attempt) {
    std::lock_guard<std::mutex> guard(m_mutex);
    StatusRecord& record = Record(kind);
    record.state = StatusState::Retrying;
    record.reason = record.firstError.empty() ? words : record.firstError;
    record.retryAt = ::GetTickCount64() + retryInMs;
    record.attempt = attempt;
    Changed(record);
}

void CStatusBoard::Failed(StatusKind kind, const std::string& words, long code) {
    std::lock_guard<std::mutex> guard(m_mutex);
    StatusRecord& record = Record(kind);
    record.state = StatusState::Failed;
    record.reason = record.firstError.empty() ? words : record.firstError;
    record.code = code;
    Changed(record);
}

void CStatusBoard::Idle(StatusKind kind) {
    std::lock_guard<std::mutex> guard(m_mutex);
    StatusRecord& record = Record(kind);
    if (record.state == StatusState::Idle) return;
    StatusRecord idle;
    idle.version = record.version;
    // Output still draining from the stopped launch is ignored.
    idle.generation = m_nextGeneration++;
    idle.device = record.device;
    idle.format = record.format;
    record = idle;
    Changed(record);
}

StatusRecord CStatusBoard::Read(StatusKind kind) {
    std::lock_guard<std::mutex> guard(m_mutex);
    return Record(kind);
}

ULONGLONG CStatusBoard::HealthyFor(StatusKind kind) {
    std::lock_guard<std::mutex> guard(m_mutex);
    const StatusRecord& record = Record(kind);
    if (record.state == StatusState::Stalled) return record.stalledSince - record.runningSince;
    if (record.state != StatusState::Running) return 0;
    return ::GetTickCount64() - record.runningSince;
}

std::string CStatusBoard::Json(StatusKind kind) { return StatusJson(kind, Read(kind), ::GetTickCount64()); }

bool CStatusBoard::Live() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_publish.state == StatusState::Running;
}

uint64_t CStatusBoard::Version() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_version;
}

uint64_t CStatusBoard::WaitForChange(uint64_t seen, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const uint64_t wakes = m_wakes;
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return m_version != seen || m_wakes != wakes; });
    return m_version;
}

void CStatusBoard::Wake() {
    std::lock_guard<std::mutex> guard(m_mutex);
    ++m_wakes;
    m_changed.notify_all();
}

CStatusBoard& TheStatusBoard() {
    // Deliberately leaked: readers and sessions may still use it during exit.
    static CStatusBoard* board = new CStatusBoard();
    return *board;
}
