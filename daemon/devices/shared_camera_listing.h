#pragma once
// One camera listing for every WebSocket session, as the microphones have
// theirs: a listing binds every camera's filter, so sessions share it, and
// a session waits for one at most kCameraListingWaitMs (a driver that hangs
// in its filter holds its listing's own thread, never a session).
//
// Devices that come or go are noticed three ways: WM_DEVICECHANGE (device
// interface arrival and removal, as a webcam plugged in or out sends on
// Windows), a change under the DirectShow capture categories in the
// registry (a virtual camera or microphone registered or removed), and a
// fresh listing of the cameras every kCameraRelistMs while any session
// watches, for what neither reports.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <string>
#include <cstdint>
#include <mutex>
#include <vector>

#include "daemon/devices/camera_entry.h"

const DWORD kCameraListingWaitMs = 5000;
const ULONGLONG kCameraListingReuseMs = 2000;
const DWORD kCameraRelistMs = 3000;

class SharedCameraListing {
public:
    // The cameras as last listed, without waiting, starting a new listing
    // when that one is older than kCameraListingReuseMs (its end moves the
    // version when it finds other cameras). Only before any listing has
    // finished does it wait, and at most until kCameraListingWaitMs after
    // the first began: a listing stuck in a driver holds no session longer.
    std::vector<CameraEntry> Cameras();

    // What the last listings found, without waiting for anything: what a
    // session sends when told of a change. The microphones are the working
    // ones, listed again by the watch after each notification; false when
    // none was listed since the start.
    std::vector<CameraEntry> LastCameras();
    bool LastMicrophones(std::vector<std::wstring>& names);

    // Changes whenever the devices changed: a listing found other cameras
    // than the one before, or, after a notification, other working
    // microphones.
    uint64_t Version();
    // True once Version() is no longer `seen`; false after timeoutMs, or
    // at once when `stop` is set (see Wake).
    bool WaitForChange(uint64_t seen, DWORD timeoutMs, const std::atomic<bool>* stop = nullptr);
    // Wakes every WaitForChange, so that one whose stop flag was set returns.
    void Wake();

    // A session that wants to hear of changes; the watch lists again only
    // while there is one.
    void Subscribe();
    void Unsubscribe();

private:
    void StartListing();  // with m_mutex held
    void RunListing();
    void RunWatch();
    void NoteChange(std::vector<std::wstring> microphones);

    std::mutex m_mutex;
    std::condition_variable m_changed;  // a listing finished, or the version moved
    bool m_running = false;
    bool m_haveList = false;
    ULONGLONG m_firstStartTick = 0;  // when the first listing began; 0 before
    ULONGLONG m_finishedTick = 0;
    std::vector<CameraEntry> m_cameras;
    bool m_haveMicrophones = false;
    std::vector<std::wstring> m_microphones;
    uint64_t m_version = 0;
    int m_subscribers = 0;
    bool m_watching = false;
};

SharedCameraListing& TheCameraListing();
