#pragma once
// A source filter that owns its output pins, and the output pin whose worker
// thread fills and delivers samples while the filter is paused or running.
#include <windows.h>
#include <dshow.h>

#include <vector>

#include "camera/framework/am_thread.h"
#include "camera/framework/base_filter.h"
#include "camera/framework/base_pin.h"

class CSourceStream;

class CSource : public CBaseFilter {
public:
    CSource(LPCWSTR name, IUnknown* outer, REFCLSID clsid);
    CSource(LPCWSTR name, IUnknown* outer, REFCLSID clsid, HRESULT* phr);
    // Deactivates pins still active and deletes every pin.
    ~CSource() override;

    int GetPinCount() override;
    CBasePin* GetPin(int index) override;

    // Called by CSourceStream's constructor: the filter takes ownership.
    HRESULT AddPin(CSourceStream* pin);
    // Takes the pin out of the list (without deleting it).
    HRESULT RemovePin(CSourceStream* pin);
    // Index of `pin` in the list, or -1.
    int FindPinNumber(IPin* pin);

protected:
    // Pins in the order they were added; owned.
    std::vector<CSourceStream*> m_paStreams;
    // Same lock as pStateLock(), under the name derived filters may expect.
    CCritSec& m_cStateLock;
};

class CSourceStream : public CAMThread, public CBaseOutputPin {
public:
    CSourceStream(LPCWSTR objectName, HRESULT* phr, CSource* filter, LPCWSTR pinName);
    ~CSourceStream() override;

    // Fills one sample. S_OK: deliver it; S_FALSE: end of stream; an error
    // ends the stream and is reported to the graph as EC_ERRORABORT.
    virtual HRESULT FillBuffer(IMediaSample* sample) = 0;

    // Default type list: none; derived pins override it.
    HRESULT GetMediaType(int position, CMediaType* type) override;
    // Default check: the type equals one of GetMediaType's list.
    HRESULT CheckMediaType(const CMediaType* type) override;
    // Commits the allocator and starts the worker, paused.
    HRESULT Active() override;
    // Decommits the allocator, stops the worker and waits for it to end.
    HRESULT Inactive() override;

    // Worker-thread hooks; the defaults do nothing and succeed.
    virtual HRESULT OnThreadCreate();
    virtual HRESULT OnThreadDestroy();
    virtual HRESULT OnThreadStartPlay();

    bool ThreadRunning() const { return ThreadExists(); }

protected:
    enum Command : DWORD { CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP, CMD_EXIT };

    // Owner-side commands to the worker.
    HRESULT CommandInit() { return static_cast<HRESULT>(CallWorker(CMD_INIT)); }
    HRESULT CommandPause() { return static_cast<HRESULT>(CallWorker(CMD_PAUSE)); }
    HRESULT CommandRun() { return static_cast<HRESULT>(CallWorker(CMD_RUN)); }
    HRESULT CommandStop() { return static_cast<HRESULT>(CallWorker(CMD_STOP)); }
    HRESULT CommandExit() { return static_cast<HRESULT>(CallWorker(CMD_EXIT)); }

    DWORD ThreadProc() override;
    // Fills and delivers samples until a command arrives or the stream ends.
    virtual HRESULT DoBufferProcessingLoop();

    CSource* m_pFilter;  // the owning source filter (same object as CBasePin's)
};
