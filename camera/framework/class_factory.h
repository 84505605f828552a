#pragma once
// The module's classes as a table of factory templates, the class factory
// that creates them, and the entry points a DLL forwards to.
#include <windows.h>
#include <unknwn.h>

#include "camera/framework/live_objects.h"
#include "camera/framework/setup_data.h"

class CUnknown;

// Builds an object for `outer`; reports a failure of its construction
// through `phr` (which starts at S_OK).
using LPFNNewCOMObject = CUnknown*(CALLBACK*)(LPUNKNOWN outer, HRESULT* phr);
// Called with TRUE on process attach and FALSE on detach.
using LPFNInitRoutine = void(CALLBACK*)(BOOL loading, const CLSID* clsid);

struct CFactoryTemplate {
    const WCHAR* m_Name;
    const CLSID* m_ClsID;
    LPFNNewCOMObject m_lpfnNew;
    LPFNInitRoutine m_lpfnInit;
    const AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;

    bool IsClassID(REFCLSID clsid) const { return IsEqualCLSID(*m_ClsID, clsid) != FALSE; }
    CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr) const { return m_lpfnNew(outer, phr); }
};

// Defined by the module that links the framework: its classes.
extern CFactoryTemplate g_Templates[];
extern int g_cTemplates;

// IClassFactory for one template. Counts itself as a live object.
class CClassFactory : public IClassFactory, public CLiveObject {
public:
    explicit CClassFactory(const CFactoryTemplate* factoryTemplate);
    virtual ~CClassFactory() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    // The count starts at 0; Release deletes the factory at 0.
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    volatile LONG m_refCount = 0;
    const CFactoryTemplate* m_template;
};

// DllGetClassObject over g_Templates: E_NOINTERFACE for an IID other than
// IUnknown and IClassFactory (tested first), CLASS_E_CLASSNOTAVAILABLE for
// an unknown CLSID, else a new factory with one reference. `out` is left
// alone on failure.
HRESULT FrameworkGetClassObject(REFCLSID clsid, REFIID iid, void** out);

// The framework's part of DllMain: on process attach turns off thread
// notifications, records the platform identifier and the module handle and
// calls every template's init routine with TRUE; on detach calls them with
// FALSE. Always TRUE.
BOOL FrameworkDllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved);
// The module handle the entry routine recorded (null before).
HINSTANCE FrameworkModuleInstance();
// dwPlatformId of GetVersionExW, 1 when that failed, 0 before the entry routine.
DWORD FrameworkPlatformId();
