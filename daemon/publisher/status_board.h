#pragma once
// What the publisher is doing, for the page: the encoder's state (idle,
// starting, live, stalled, retrying, failed) with its figures, and the camera
// bridge's (idle, starting, delivering, retrying, failed) with the webcam's
// format. Launches, stops, the supervisor and the output readers write it;
// WebSocket sessions read it as JSON and wait for its changes.
#include "daemon/publisher/output_lines.h"

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

enum class StatusKind { Publish, Camera };
enum class StatusState { Idle, Starting, Running, Stalled, Retrying, Failed };

// How long a live encoder may go without a progress line whose frame count
// grew before it is shown as stalled.
const ULONGLONG kStallAfterMs = 3000;

struct StatusRecord {
    StatusState state = StatusState::Idle;
    unsigned generation = 0;  // one per launch; output of an older launch is ignored
    uint64_t version = 0;     // counts the changes of this record
    ProgressLine progress;
    ULONGLONG runningSince = 0;
    ULONGLONG lastProgress = 0;  // when the frame count last grew
    ULONGLONG stalledSince = 0;
    int level = 0;
    std::string device;  // UTF-8
    std::string format;
    std::string encoder;  // the H.264 encoder QvShow.exe chose, when it says
    // The first error line since the launch or since its frames last moved,
    // UTF-8: the cause, not the aftermath.
    std::string firstError;
    std::string reason;
    ULONGLONG retryAt = 0;
    int attempt = 0;
    long code = 0;
};

class CStatusBoard {
public:
    // A launch: returns its generation. level for the encoder, device
    // (UTF-8) for the bridge.
    unsigned Starting(StatusKind kind, int level, const std::string& device, int attempt);
    // The encoder's progress: live once a line counts a frame, stalled
    // again live once the count grows. The figures alone are no change
    // (sessions get them with the 2 s repeat).
    void Progress(unsigned generation, const ProgressLine& progress);
    // A live encoder whose frame count has not grown for kStallAfterMs is
    // stalled (kbps 0) until it grows or the encoder ends.
    void CheckStall();
    // QvShow.exe chose this H.264 encoder.
    void Encoder(unsigned generation, const std::string& encoder);
    // The bridge runs its graph in this format.
    void Delivering(unsigned generation, const std::string& format);
    // An error line of a launch; once that launch is over it becomes the
    // reason shown (the line may come in after the exit was seen).
    void ErrorLine(StatusKind kind, unsigned generation, const std::string& line);
    // The launch is lost: words are the daemon's, used when the executable
    // printed no error line.
    void Retrying(StatusKind kind, const std::string& words, DWORD retryInMs, int attempt);
    void Failed(StatusKind kind, const std::string& words, long code);
    void Idle(StatusKind kind);

    StatusRecord Read(StatusKind kind);
    // How long the launch has been live (delivering) until now or until it
    // stalled; 0 when it never was. The back-off starts again after a while
    // of this, not after a while of a process that never got anywhere.
    ULONGLONG HealthyFor(StatusKind kind);
    std::string Json(StatusKind kind);
    bool Live();

    // Counts every change of state or reason.
    uint64_t Version();
    // Returns the version once it differs from `seen`, or after timeoutMs,
    // or when Wake is called.
    uint64_t WaitForChange(uint64_t seen, DWORD timeoutMs);
    void Wake();

private:
    StatusRecord& Record(StatusKind kind) { return kind == StatusKind::Publish ? m_publish : m_camera; }
    void Stall(StatusRecord& record, ULONGLONG now);
    void Changed(StatusRecord& record) {
        ++record.version;
        ++m_version;
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_version = 1;
    uint64_t m_wakes = 0;
    unsigned m_nextGeneration = 1;
    StatusRecord m_publish;
    StatusRecord m_camera;
};

// The process's board.
CStatusBoard& TheStatusBoard();

// The record as one JSON object, e.g. {"type":"publish","state":"live",...}.
std::string StatusJson(StatusKind kind, const StatusRecord& record, ULONGLONG now);
