// The control object: OLE embedding and in-place activation, stream
// persistence of the stored state, and the scripting members through IDispatch.
#include <windows.h>
#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>

#include <atomic>
#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "CallLog.h"
#include "Error.h"
#include "GdiText.h"
#include "MovieFile.h"
#include "ScopedWin.h"
#include "Stage.h"
#include "StagePicture.h"
#include "StageScript.h"
#include "StageView.h"
#include "Standin.h"
#include "StateBlock.h"

namespace standin {

std::atomic<long> g_live{0};   // objects
std::atomic<long> g_locks{0};  // LockServer
long LiveCount() { return g_live.load() + g_locks.load(); }

namespace {

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(std::size_t(n > 0 ? n : 0), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::string RectText(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right - r.left) + "," +
           std::to_string(r.bottom - r.top);
}

std::int64_t NowUs() {
    static const LONGLONG freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER c;
    ::QueryPerformanceCounter(&c);
    return std::int64_t(c.QuadPart / freq * 1000000 + c.QuadPart % freq * 1000000 / freq);
}

// The call record, appended to the file named by SWFSTANDIN_LOG when set.
class LogSink {
public:
    LogSink() {
        wchar_t path[MAX_PATH * 2];
        DWORD n = ::GetEnvironmentVariableW(L"SWFSTANDIN_LOG", path, DWORD(std::size(path)));
        if (n == 0 || n >= std::size(path)) return;
        file_.reset(::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    ~LogSink() { Write(log_.Flush()); }
    bool Enabled() const { return bool(file_); }
    void Line(const std::string& s) {
        if (file_) Write(log_.Call(s));
    }
    void Count(CallLog::Read r) {
        if (file_) log_.Count(r);
    }

private:
    void Write(const std::string& s) {
        if (!file_ || s.empty()) return;
        DWORD done = 0;
        ::WriteFile(file_.get(), s.data(), DWORD(s.size()), &done, nullptr);
    }
    fw::ScopedFile file_;
    CallLog log_;
};

// Turns an escaping exception into a result code: nothing may cross the COM
// boundary.
template <typename F>
HRESULT Guard(F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

struct Member {
    const wchar_t* name;
    DISPID id;
};
constexpr Member kMembers[] = {
    {L"Movie", kDispMovie},       {L"BackgroundColor", kDispBackgroundColor}, {L"TotalFrames", kDispTotalFrames},
    {L"Play", kDispPlay},         {L"Rewind", kDispRewind},                   {L"CurrentFrame", kDispCurrentFrame},
};

class Control final : public IOleObject,
                      public IOleInPlaceObject,
                      public IOleControl,
                      public IPersistStreamInit,
                      public IDispatch,
                      private StageOwner {
public:
    Control() {
        ++g_live;
        picture_.SetTextRenderer(&text_);
    }
    ~Control() {
        view_.reset();
        --g_live;
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleObject) *out = static_cast<IOleObject*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject) *out = static_cast<IOleInPlaceObject*>(this);
        else if (iid == IID_IOleControl) *out = static_cast<IOleControl*>(this);
        else if (iid == IID_IPersist || iid == IID_IPersistStreamInit) *out = static_cast<IPersistStreamInit*>(this);
        else if (iid == IID_IDispatch || iid == kIidMovieControlDual) *out = static_cast<IDispatch*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        long n = --refs_;
        if (n == 0) delete this;
        return ULONG(n);
    }

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override {
        log_.Line(site ? "SetClientSite" : "SetClientSite null");
        if (site) site->AddRef();
        site_ = fw::ComPtr<IOleClientSite>::Attach(site);
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** out) override {
        if (!out) return E_POINTER;
        *out = site_.get();
        if (*out) (*out)->AddRef();
        return S_OK;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD) override {
        log_.Line("Close");
        LogScreenSaverRunning();
        DeactivateInPlace();
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* active, LONG, HWND, LPCRECT pos) override {
        switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_OPEN:
        case OLEIVERB_UIACTIVATE:
        case OLEIVERB_INPLACEACTIVATE:
            return Guard([&] { return ActivateInPlace(active ? active : site_.get(), pos); });
        case OLEIVERB_HIDE:
            log_.Line("Hide");
            if (view_) ::ShowWindow(view_->Window(), SW_HIDE);
            return S_OK;
        default:
            return OLEOBJ_S_INVALIDVERB;
        }
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* out) override {
        if (!out) return E_POINTER;
        *out = kClsidMovieControl;
        return S_OK;
    }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR* out) override {
        if (out) *out = nullptr;
        return OLE_S_USEREG;
    }
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override {
        if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        if (!size) return E_POINTER;
        log_.Line("SetExtent " + std::to_string(size->cx) + "," + std::to_string(size->cy));
        extent_ = *size;
        return S_OK;
    }
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override {
        if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        if (!size) return E_POINTER;
        *size = extent_;
        return S_OK;
    }
    STDMETHODIMP Advise(IAdviseSink*, DWORD* cookie) override {
        if (cookie) *cookie = 0;
        return OLE_E_ADVISENOTSUPPORTED;
    }
    STDMETHODIMP Unadvise(DWORD) override { return OLE_E_NOCONNECTION; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** out) override {
        if (out) *out = nullptr;
        return OLE_E_ADVISENOTSUPPORTED;
    }
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override {
        if (!status) return E_POINTER;
        log_.Line("GetMiscStatus");
        *status = 0;
        if (aspect != DVASPECT_CONTENT) return S_OK;
        *status = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT |
                  OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow / IOleInPlaceObject
    STDMETHODIMP GetWindow(HWND* out) override {
        if (!out) return E_POINTER;
        *out = view_ ? view_->Window() : nullptr;
        return view_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override {
        log_.Line("InPlaceDeactivate");
        DeactivateInPlace();
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT) override {
        if (!pos) return E_POINTER;
        log_.Line("SetObjectRects " + RectText(*pos));
        if (view_) view_->Move(*pos);
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return INPLACE_E_NOTUNDOABLE; }

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO*) override { return E_NOTIMPL; }
    STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
    STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

    // IPersist / IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID* out) override {
        if (!out) return E_POINTER;
        *out = kClsidMovieControl;
        return S_OK;
    }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(LPSTREAM stream) override {
        if (!stream) return E_POINTER;
        if (initialised_) return E_UNEXPECTED;
        return Guard([&] { return LoadState(stream); });
    }
    STDMETHODIMP Save(LPSTREAM, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP InitNew() override {
        if (initialised_) return E_UNEXPECTED;
        log_.Line("InitNew");
        initialised_ = true;
        return S_OK;
    }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (!n) return E_POINTER;
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        if (out) *out = nullptr;
        return DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!names || !ids || count == 0) return E_INVALIDARG;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        for (const Member& m : kMembers) {
            if (names[0] && ::_wcsicmp(names[0], m.name) == 0) ids[0] = m.id;
        }
        if (ids[0] == DISPID_UNKNOWN || count > 1) hr = DISP_E_UNKNOWNNAME;  // no named arguments
        log_.Line("GetIDsOfNames " + Utf8(names[0] ? names[0] : L""));
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT* argErr) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!params) return E_INVALIDARG;
        LogScreenSaverRunningIfChanged();
        return Guard([&] { return Dispatch(id, flags, *params, result, argErr); });
    }

private:
    // StageOwner: the frame timer.
    void OnStageTimer() override {
        timeline_.Sync(NowUs());
        HandOver();
        ScheduleNextFrame();
    }

    // For the host's tests: whether a screen saver counts as running, as this
    // process sees it (the flag is kept per process on some systems).
    void LogScreenSaverRunning() {
        BOOL running = FALSE;
        if (!::SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &running, 0)) running = FALSE;
        loggedRunning_ = running ? 1 : 0;
        log_.Line(std::string("ScreenSaverRunning=") + (running ? "1" : "0"));
    }
    // A host announces the running saver after creating its controls: a
    // change seen at a later call is logged there.
    void LogScreenSaverRunningIfChanged() {
        if (!log_.Enabled()) return;
        BOOL running = FALSE;
        if (!::SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &running, 0)) running = FALSE;
        if ((running ? 1 : 0) != loggedRunning_) LogScreenSaverRunning();
    }
    int loggedRunning_ = -1;

    HRESULT LoadState(IStream* stream) {
        // The block's length is only known by parsing it, so read what the
        // stream holds (bounded) and give back whatever follows the block.
        constexpr std::size_t kMax = 1 << 20;
        std::vector<std::uint8_t> bytes;
        std::uint8_t chunk[4096];
        while (bytes.size() < kMax) {
            ULONG got = 0;
            HRESULT hr = stream->Read(chunk, sizeof chunk, &got);
            if (FAILED(hr)) {
                log_.Line("Load failed: stream read error");
                return hr;
            }
            bytes.insert(bytes.end(), chunk, chunk + got);
            if (got == 0 || hr == S_FALSE) break;
        }
        StoredState st;
        std::size_t used = 0;
        StateError e = ParseStoredState(bytes.data(), bytes.size(), st, &used);
        if (e != StateError::None) {
            log_.Line(std::string("Load failed: ") + StateErrorText(e));
            return e == StateError::BadMagic || e == StateError::BadFormat ? STG_E_INVALIDHEADER
                                                                            : STG_E_DOCFILECORRUPT;
        }
        if (used < bytes.size()) {
            LARGE_INTEGER back;
            back.QuadPart = -LONGLONG(bytes.size() - used);
            stream->Seek(back, STREAM_SEEK_CUR, nullptr);
        }
        state_ = st;
        extent_ = {st.extentX, st.extentY};
        scale_ = ScaleModeFromText(st.values[kStateScaleMode].text);
        initialised_ = true;
        log_.Line("Load ok");
        return S_OK;
    }

    HRESULT ActivateInPlace(IOleClientSite* site, LPCRECT hint) {
        if (view_) {
            ::ShowWindow(view_->Window(), SW_SHOWNA);
            return S_OK;
        }
        if (!site) return E_UNEXPECTED;
        fw::ComPtr<IOleInPlaceSite> ip;
        HRESULT hr = site->QueryInterface(IID_IOleInPlaceSite, ip.receive_void());
        if (FAILED(hr)) return hr;
        if (ip->CanInPlaceActivate() != S_OK) return E_FAIL;
        hr = ip->OnInPlaceActivate();
        if (FAILED(hr)) return hr;
        HWND parent = nullptr;
        RECT pos = {}, clip = {};
        fw::ComPtr<IOleInPlaceFrame> frame;
        fw::ComPtr<IOleInPlaceUIWindow> doc;
        OLEINPLACEFRAMEINFO info = {};
        info.cb = sizeof info;
        hr = ip->GetWindow(&parent);
        if (SUCCEEDED(hr)) hr = ip->GetWindowContext(frame.receive(), doc.receive(), &pos, &clip, &info);
        if (FAILED(hr)) {
            ip->OnInPlaceDeactivate();
            return hr;
        }
        if (hint) pos = *hint;
        try {
            view_ = std::make_unique<StageView>(parent, pos, static_cast<StageOwner&>(*this), picture_, Look());
        } catch (...) {
            ip->OnInPlaceDeactivate();
            return E_FAIL;
        }
        inPlaceSite_ = ip;
        log_.Line("InPlaceActivate " + RectText(pos));
        LogScreenSaverRunning();
        ScheduleNextFrame();
        return S_OK;
    }

    void DeactivateInPlace() {
        if (!view_) return;
        view_.reset();
        if (inPlaceSite_) inPlaceSite_->OnInPlaceDeactivate();
        inPlaceSite_.reset();
    }

    StageLook Look() const {
        StageLook l;
        if (background_ >= 0) l.background = std::uint32_t(background_) & 0xFFFFFF;
        l.scale = scale_;
        return l;
    }

    // Gives the picture what the timeline ran; without a window it is run
    // here, as no worker draws.
    void HandOver() {
        bool changed = false;
        StageScript script = timeline_.TakeScript(&changed);
        if (view_) view_->Post(script, changed);
        else picture_.Run(script);
    }

    void ScheduleNextFrame() {
        if (!view_) return;
        std::int64_t us = timeline_.UntilNextTick(NowUs());
        view_->ScheduleTimer(us < 0 ? -1 : (us + 999) / 1000);
    }

    void SetMovie(const std::wstring& path) {
        movie_ = path;
        std::string why;
        // A movie that cannot be loaded leaves an empty stage of no frames.
        std::shared_ptr<const swfmovie::Movie> movie = path.empty() ? nullptr : LoadMovieFile(path, why);
        timeline_.Load(std::move(movie), NowUs());
        HandOver();
        ScheduleNextFrame();
    }

    static HRESULT ArgAs(DISPPARAMS& p, VARTYPE vt, VARIANT& out, UINT* argErr) {
        if (p.cArgs != 1) return DISP_E_BADPARAMCOUNT;
        HRESULT hr = ::VariantChangeType(&out, &p.rgvarg[0], 0, vt);
        if (FAILED(hr)) {
            if (argErr) *argErr = 0;
            return DISP_E_TYPEMISMATCH;
        }
        return S_OK;
    }

    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS& p, VARIANT* result, UINT* argErr) {
        const bool get = flags & DISPATCH_PROPERTYGET;
        const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
        const bool call = flags & DISPATCH_METHOD;
        if (result) ::VariantInit(result);
        switch (id) {
        case kDispBackgroundColor:
        case kDispMovie: {
            if (put) {
                VARIANT v;
                ::VariantInit(&v);
                HRESULT hr = ArgAs(p, id == kDispMovie ? VT_BSTR : VT_I4, v, argErr);
                if (FAILED(hr)) return hr;
                if (id == kDispMovie) {
                    std::wstring path(V_BSTR(&v) ? V_BSTR(&v) : L"", ::SysStringLen(V_BSTR(&v)));
                    ::VariantClear(&v);
                    log_.Line("Movie=" + Utf8(path));
                    SetMovie(path);
                } else {
                    background_ = V_I4(&v);
                    log_.Line("BackgroundColor=" + std::to_string(background_));
                    if (view_) view_->SetLook(Look());
                }
                return S_OK;
            }
            if (!get) return DISP_E_MEMBERNOTFOUND;
            if (p.cArgs != 0) return DISP_E_BADPARAMCOUNT;
            if (id == kDispMovie) {
                log_.Line("Movie?");
                if (result) {
                    V_VT(result) = VT_BSTR;
                    V_BSTR(result) = ::SysAllocStringLen(movie_.data(), UINT(movie_.size()));
                    if (!V_BSTR(result)) return E_OUTOFMEMORY;
                }
            } else {
                log_.Line("BackgroundColor?");
                if (result) {
                    V_VT(result) = VT_I4;
                    V_I4(result) = background_;
                }
            }
            return S_OK;
        }
        case kDispTotalFrames:
            if (!get) return DISP_E_MEMBERNOTFOUND;  // read-only
            if (p.cArgs != 0) return DISP_E_BADPARAMCOUNT;
            log_.Count(CallLog::Read::TotalFrames);
            if (result) {
                V_VT(result) = VT_I4;
                V_I4(result) = timeline_.TotalFrames();
            }
            return S_OK;
        case kDispCurrentFrame:
            if (!call && !get) return DISP_E_MEMBERNOTFOUND;
            if (p.cArgs != 0) return DISP_E_BADPARAMCOUNT;
            log_.Count(CallLog::Read::CurrentFrame);
            // Frames due by now are run first, so the answer never lags the
            // clock however late the timer comes.
            timeline_.Sync(NowUs());
            HandOver();
            if (result) {
                V_VT(result) = VT_I4;
                V_I4(result) = timeline_.CurrentFrame();
            }
            return S_OK;
        case kDispPlay:
        case kDispRewind: {
            if (!call) return DISP_E_MEMBERNOTFOUND;
            if (p.cArgs != 0) return DISP_E_BADPARAMCOUNT;
            if (id == kDispPlay) {
                log_.Line("Play");
                timeline_.Play(NowUs());
            } else {
                log_.Line("Rewind");
                timeline_.Rewind(NowUs());
            }
            // Only a change of picture wakes the worker: a host that rewinds a
            // one-frame movie on every idle pass costs no drawing.
            HandOver();
            ScheduleNextFrame();
            return S_OK;
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    std::atomic<long> refs_{1};
    LogSink log_;
    fw::ComPtr<IOleClientSite> site_;
    fw::ComPtr<IOleInPlaceSite> inPlaceSite_;
    MovieTimeline timeline_;
    GdiTextRenderer text_;  // used by the picture's player; outlives it
    StagePicture picture_;  // the view's worker draws it; outlives the view
    std::unique_ptr<StageView> view_;
    bool initialised_ = false;
    StoredState state_;
    SIZEL extent_ = {5106, 4471};
    ScaleMode scale_ = ScaleMode::ShowAll;
    std::int32_t background_ = -1;
    std::wstring movie_;
};

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // One static factory: its references keep nothing alive, LockServer does.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        Control* c = new (std::nothrow) Control();
        if (!c) return E_OUTOFMEMORY;
        HRESULT hr = c->QueryInterface(iid, out);
        c->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) ++g_locks;
        else --g_locks;
        return S_OK;
    }
};

Factory g_factory;

}  // namespace

}  // namespace standin

HRESULT StandinGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != standin::kClsidMovieControl) return CLASS_E_CLASSNOTAVAILABLE;
    return standin::g_factory.QueryInterface(iid, out);
}
