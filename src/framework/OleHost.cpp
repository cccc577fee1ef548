#include "OleHost.h"

#include <olectl.h>

#include <atomic>
#include <cstdio>

#include "Error.h"

namespace fw {
namespace {

ClassObjectGetter g_unregisteredHook = nullptr;

std::string GuidText(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s.push_back(c >= 0x20 && c < 0x7F ? char(c) : '?');
    return s;
}

// VARIANT owner.
class ScopedVariant {
public:
    ScopedVariant() { ::VariantInit(&v_); }
    ~ScopedVariant() { ::VariantClear(&v_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT* get() { return &v_; }

private:
    VARIANT v_;
};

// IDispatch::Invoke with the control's own error text, when it gives one, in
// the message.
void InvokeChecked(IDispatch* d, DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result, const std::string& what) {
    EXCEPINFO ex = {};
    UINT argErr = 0;
    HRESULT hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &ex, &argErr);
    if (hr == DISP_E_EXCEPTION) {
        if (ex.pfnDeferredFillIn) ex.pfnDeferredFillIn(&ex);
        std::string desc = ex.bstrDescription ? Narrow(std::wstring(ex.bstrDescription)) : std::string();
        HRESULT code = ex.scode ? ex.scode : hr;
        ::SysFreeString(ex.bstrSource);
        ::SysFreeString(ex.bstrDescription);
        ::SysFreeString(ex.bstrHelpFile);
        CheckHr(code, (what + (desc.empty() ? "" : " (" + desc + ")")).c_str());
    }
    CheckHr(hr, what.c_str());
}

std::int32_t ToInt(VARIANT* v, const std::string& what) {
    CheckHr(::VariantChangeType(v, v, 0, VT_I4), (what + ": result is not an integer").c_str());
    return V_I4(v);
}

// A toolbar-less frame for controls that ask for one while activating.
class Frame final : public IOleInPlaceFrame {
public:
    explicit Frame(HWND hwnd) : hwnd_(hwnd) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IOleInPlaceUIWindow ||
            iid == IID_IOleInPlaceFrame) {
            *out = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        long n = --refs_;
        if (n == 0) delete this;
        return ULONG(n);
    }
    STDMETHODIMP GetWindow(HWND* out) override {
        if (!out) return E_POINTER;
        *out = hwnd_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    std::atomic<long> refs_{1};
    HWND hwnd_;
};

}  // namespace

// The control's view of its container: client site, in-place site and the
// ambient properties. It outlives the host if the control keeps a reference,
// so it answers from copies and a host pointer cleared at teardown.
class OleControl::Site final : public IOleClientSite, public IOleInPlaceSite, public IDispatch {
public:
    explicit Site(OleControl* host) : host_(host) {}
    void Detach() { host_ = nullptr; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) *out = static_cast<IOleInPlaceSite*>(this);
        else if (iid == IID_IDispatch) *out = static_cast<IDispatch*>(this);
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

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow / IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* out) override {
        if (!out) return E_POINTER;
        *out = host_ ? host_->parent_ : nullptr;
        return host_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return host_ ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
        *frame = nullptr;
        *doc = nullptr;
        if (!host_) return E_FAIL;
        HWND top = ::GetAncestor(host_->parent_, GA_ROOT);
        *frame = new Frame(top ? top : host_->parent_);
        *pos = host_->bounds_;
        ::GetClientRect(host_->parent_, clip);
        info->fMDIApp = FALSE;
        info->hwndFrame = top;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    // The container decides where the control goes.
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IDispatch: ambient properties.
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (!n) return E_POINTER;
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        if (out) *out = nullptr;
        return DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
        ::VariantInit(result);
        switch (id) {
        case DISPID_AMBIENT_USERMODE:
            V_VT(result) = VT_BOOL;
            V_BOOL(result) = VARIANT_TRUE;
            return S_OK;
        case DISPID_AMBIENT_UIDEAD:
        case DISPID_AMBIENT_SHOWGRABHANDLES:
        case DISPID_AMBIENT_SHOWHATCHING:
        case DISPID_AMBIENT_MESSAGEREFLECT:
        case DISPID_AMBIENT_DISPLAYASDEFAULT:
            V_VT(result) = VT_BOOL;
            V_BOOL(result) = VARIANT_FALSE;
            return S_OK;
        case DISPID_AMBIENT_LOCALEID:
            V_VT(result) = VT_I4;
            V_I4(result) = LONG(::GetUserDefaultLCID());
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;  // the control uses its default
        }
    }

private:
    std::atomic<long> refs_{1};
    OleControl* host_;
};

DispatchRef::DispatchRef(ComPtr<IDispatch> disp, std::string what) : disp_(std::move(disp)), what_(std::move(what)) {}

DISPID DispatchRef::IdOf(const std::wstring& name) {
    auto it = ids_.find(name);
    if (it != ids_.end()) return it->second;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name.c_str())};
    CheckHr(disp_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id),
            (what_ + ": looking up " + Narrow(name)).c_str());
    ids_.emplace(name, id);
    return id;
}

void DispatchRef::Call(DISPID id, const char* name) {
    DISPPARAMS none = {};
    InvokeChecked(disp_.get(), id, DISPATCH_METHOD, none, nullptr, what_ + "." + name);
}

std::int32_t DispatchRef::CallInt(DISPID id, const char* name) {
    DISPPARAMS none = {};
    ScopedVariant r;
    std::string what = what_ + "." + name;
    InvokeChecked(disp_.get(), id, DISPATCH_METHOD, none, r.get(), what);
    return ToInt(r.get(), what);
}

void OleControl::SetUnregisteredClassHook(ClassObjectGetter getter) { g_unregisteredHook = getter; }

OleControl::OleControl(HWND parent, const CLSID& clsid, const std::vector<std::uint8_t>& storedState,
                       const RECT& bounds)
    : parent_(parent), bounds_(bounds) {
    try {
        Create(clsid);
        DWORD misc = 0;
        CheckHr(object_->GetMiscStatus(DVASPECT_CONTENT, &misc), "IOleObject::GetMiscStatus");
        site_ = new Site(this);
        // Most controls want their site before their state; the others after.
        const bool siteFirst = misc & OLEMISC_SETCLIENTSITEFIRST;
        if (siteFirst) CheckHr(object_->SetClientSite(site_), "IOleObject::SetClientSite");
        Load(storedState);
        if (!siteFirst) CheckHr(object_->SetClientSite(site_), "IOleObject::SetClientSite");
        SetExtentFor(bounds_);
        RECT pos = bounds_;
        CheckHr(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, parent_, &pos),
                "IOleObject::DoVerb(in-place activate)");
        active_ = true;
        CheckHr(object_->QueryInterface(IID_IOleInPlaceObject, inPlace_.receive_void()),
                "QueryInterface(IOleInPlaceObject)");
        CheckHr(inPlace_->GetWindow(&window_), "IOleInPlaceObject::GetWindow");
        CheckHr(object_->QueryInterface(IID_IDispatch, dispatch_.receive_void()), "QueryInterface(IDispatch)");
    } catch (...) {
        Teardown();
        throw;
    }
}

OleControl::~OleControl() { Teardown(); }

void OleControl::Create(const CLSID& clsid) {
    HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object_.receive_void());
    if (hr == REGDB_E_CLASSNOTREG && g_unregisteredHook) {
        ComPtr<IClassFactory> factory;
        CheckHr(g_unregisteredHook(clsid, IID_IClassFactory, factory.receive_void()),
                ("Getting the built-in class object " + GuidText(clsid)).c_str());
        CheckHr(factory->CreateInstance(nullptr, IID_IOleObject, object_.receive_void()),
                ("Creating the built-in control " + GuidText(clsid)).c_str());
        return;
    }
    if (hr == REGDB_E_CLASSNOTREG)
        CheckHr(hr, ("Creating the control " + GuidText(clsid) + ": class not registered;").c_str());
    CheckHr(hr, ("Creating the control " + GuidText(clsid)).c_str());
}

void OleControl::Load(const std::vector<std::uint8_t>& storedState) {
    ComPtr<IPersistStreamInit> persist;
    CheckHr(object_->QueryInterface(IID_IPersistStreamInit, persist.receive_void()),
            "QueryInterface(IPersistStreamInit)");
    if (storedState.empty()) {
        CheckHr(persist->InitNew(), "IPersistStreamInit::InitNew");
        return;
    }
    ComPtr<IStream> stream;
    CheckHr(::CreateStreamOnHGlobal(nullptr, TRUE, stream.receive()), "CreateStreamOnHGlobal");
    ULONG written = 0;
    CheckHr(stream->Write(storedState.data(), ULONG(storedState.size()), &written), "IStream::Write");
    if (written != storedState.size()) CheckHr(STG_E_MEDIUMFULL, "IStream::Write");
    LARGE_INTEGER zero = {};
    CheckHr(stream->Seek(zero, STREAM_SEEK_SET, nullptr), "IStream::Seek");
    CheckHr(persist->Load(stream.get()), "IPersistStreamInit::Load(stored state)");
}

// The control's size in HIMETRIC at the screen's resolution.
void OleControl::SetExtentFor(const RECT& r) {
    HDC dc = ::GetDC(nullptr);
    int dpiX = dc ? ::GetDeviceCaps(dc, LOGPIXELSX) : 96;
    int dpiY = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ::ReleaseDC(nullptr, dc);
    SIZEL size = {::MulDiv(r.right - r.left, 2540, dpiX), ::MulDiv(r.bottom - r.top, 2540, dpiY)};
    CheckHr(object_->SetExtent(DVASPECT_CONTENT, &size), "IOleObject::SetExtent");
}

void OleControl::SetBounds(const RECT& bounds) {
    if (bounds.right - bounds.left != bounds_.right - bounds_.left ||
        bounds.bottom - bounds.top != bounds_.bottom - bounds_.top)
        SetExtentFor(bounds);
    RECT clip;
    ::GetClientRect(parent_, &clip);
    CheckHr(inPlace_->SetObjectRects(&bounds, &clip), "IOleInPlaceObject::SetObjectRects");
    bounds_ = bounds;
}

void OleControl::SetVisible(bool visible) { ::ShowWindow(window_, visible ? SW_SHOWNA : SW_HIDE); }

void OleControl::SetIntProperty(DISPID id, std::int32_t value) {
    VARIANT arg;
    ::VariantInit(&arg);
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p = {&arg, &named, 1, 1};
    InvokeChecked(dispatch_.get(), id, DISPATCH_PROPERTYPUT, p, nullptr, "Setting property " + std::to_string(id));
}

void OleControl::SetStringProperty(DISPID id, const std::wstring& value) {
    ScopedBstr text;
    *text.receive() = ::SysAllocStringLen(value.data(), UINT(value.size()));
    if (!text.get()) CheckHr(E_OUTOFMEMORY, "SysAllocStringLen");
    VARIANT arg;
    ::VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = text.get();  // still owned by `text`
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p = {&arg, &named, 1, 1};
    InvokeChecked(dispatch_.get(), id, DISPATCH_PROPERTYPUT, p, nullptr, "Setting property " + std::to_string(id));
}

std::int32_t OleControl::GetIntProperty(DISPID id) {
    DISPPARAMS none = {};
    ScopedVariant r;
    std::string what = "Reading property " + std::to_string(id);
    InvokeChecked(dispatch_.get(), id, DISPATCH_PROPERTYGET, none, r.get(), what);
    return ToInt(r.get(), what);
}

std::wstring OleControl::GetStringProperty(DISPID id) {
    DISPPARAMS none = {};
    ScopedVariant r;
    std::string what = "Reading property " + std::to_string(id);
    InvokeChecked(dispatch_.get(), id, DISPATCH_PROPERTYGET, none, r.get(), what);
    CheckHr(::VariantChangeType(r.get(), r.get(), 0, VT_BSTR), (what + ": result is not text").c_str());
    BSTR b = V_BSTR(r.get());
    return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring();
}

DispatchRef& OleControl::Interface(const IID& iid, const char* name) {
    for (auto& entry : interfaces_)
        if (entry.first == iid) return *entry.second;
    ComPtr<IDispatch> d;
    CheckHr(object_->QueryInterface(iid, d.receive_void()), (std::string("QueryInterface(") + name + ")").c_str());
    interfaces_.emplace_back(iid, std::make_unique<DispatchRef>(std::move(d), name));
    return *interfaces_.back().second;
}

// Reverse order of creation. Results are not acted on here: a destructor
// cannot report them, and each later step still has to run.
void OleControl::Teardown() noexcept {
    interfaces_.clear();
    dispatch_.reset();
    if (inPlace_ && active_) inPlace_->InPlaceDeactivate();
    active_ = false;
    inPlace_.reset();
    window_ = nullptr;
    if (object_) {
        object_->Close(OLECLOSE_NOSAVE);
        if (site_) object_->SetClientSite(nullptr);
        object_.reset();
    }
    if (site_) {
        site_->Detach();
        site_->Release();
        site_ = nullptr;
    }
}

}  // namespace fw
