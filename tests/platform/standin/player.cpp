// A stand-in for the Flash ActiveX player in tests: an in-process COM server whose one
// class (the player's class id) hands out an object supporting IOleObject. Every
// IOleObject method answers E_NOTIMPL; only creation and reference counting matter.
// Built with STANDIN_REFUSE, the server refuses to hand out the class. A slow player: with
// SCR_STANDIN_GATE naming an event in the loading process's environment, the class is handed
// out only once that event is set.
#include <windows.h>

#include <ole2.h>

#include <new>

namespace {

constexpr CLSID kPlayerClsid = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

LONG gObjects = 0;
LONG gLocks = 0;

class TPlayer final : public IOleObject {
public:
    TPlayer() { InterlockedIncrement(&gObjects); }
    ~TPlayer() { InterlockedDecrement(&gObjects); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleObject)) {
            *out = static_cast<IOleObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&FRefs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&FRefs);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
        if (site) *site = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** mk) override {
        if (mk) *mk = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject** data) override {
        if (data) *data = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** e) override {
        if (e) *e = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Update() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR* type) override {
        if (type) *type = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD* conn) override {
        if (conn) *conn = 0;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** e) override {
        if (e) *e = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
        if (status) *status = 0;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

private:
    LONG FRefs = 1;
};

class TPlayerFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static: its reference count only keeps the server loaded.
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&gLocks)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&gLocks)); }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        TPlayer* player = new (std::nothrow) TPlayer;
        if (!player) return E_OUTOFMEMORY;
        HRESULT hr = player->QueryInterface(iid, out);
        player->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            InterlockedIncrement(&gLocks);
        else
            InterlockedDecrement(&gLocks);
        return S_OK;
    }
};

TPlayerFactory gFactory;

} // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
#ifdef STANDIN_REFUSE
    (void)clsid;
    (void)iid;
    return CLASS_E_CLASSNOTAVAILABLE;
#else
    if (!IsEqualCLSID(clsid, kPlayerClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    wchar_t gate[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"SCR_STANDIN_GATE", gate, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        if (HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, gate)) {
            WaitForSingleObject(event, INFINITE);
            CloseHandle(event);
        }
    return gFactory.QueryInterface(iid, out);
#endif
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return gObjects == 0 && gLocks == 0 ? S_OK : S_FALSE;
}
