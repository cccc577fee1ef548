// The framework's ActiveX host: a windowed OLE control embedded in place as a
// child of a window of ours, given its stored state, moved and resized, and
// driven through IDispatch. Every call's result is checked; a failure throws
// fw::Error naming the call.
//
// Use on the GUI thread after OleInitialize (or CoInitialize).
#pragma once
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ScopedWin.h"

namespace fw {

// Signature of an in-process server's DllGetClassObject.
using ClassObjectGetter = HRESULT (*)(REFCLSID clsid, REFIID iid, void** out);

// A dispatch interface obtained once from a control, with member ids looked
// up by name once and kept.
class DispatchRef {
public:
    DispatchRef(ComPtr<IDispatch> disp, std::string what);

    // The member's dispatch id (GetIDsOfNames on first use only).
    DISPID IdOf(const std::wstring& name);
    // Calls a method without arguments.
    void Call(DISPID id, const char* name);
    // Calls a method without arguments that returns an integer.
    std::int32_t CallInt(DISPID id, const char* name);
    IDispatch* get() const { return disp_.get(); }

private:
    ComPtr<IDispatch> disp_;
    std::string what_;
    std::map<std::wstring, DISPID> ids_;
};

class OleControl {
public:
    // Creates the control `clsid`, gives it `storedState` through
    // IPersistStreamInit::Load (InitNew when empty) and activates it in place
    // as a child of `parent` at `bounds` (parent client coordinates).
    OleControl(HWND parent, const CLSID& clsid, const std::vector<std::uint8_t>& storedState, const RECT& bounds);
    // Deactivates, closes without saving, detaches the site, releases.
    ~OleControl();
    OleControl(const OleControl&) = delete;
    OleControl& operator=(const OleControl&) = delete;

    // When a class is not registered, the host asks this getter for the
    // class factory instead (a program that carries the control itself).
    // Null (the default) leaves unregistered classes an error.
    static void SetUnregisteredClassHook(ClassObjectGetter getter);

    // Moves and resizes the control's window (parent client coordinates).
    void SetBounds(const RECT& bounds);
    RECT Bounds() const { return bounds_; }
    // The control's in-place window.
    HWND Window() const { return window_; }
    void SetVisible(bool visible);

    // Properties by dispatch id through the control's IDispatch.
    void SetIntProperty(DISPID id, std::int32_t value);
    void SetStringProperty(DISPID id, const std::wstring& value);
    std::int32_t GetIntProperty(DISPID id);
    std::wstring GetStringProperty(DISPID id);

    // The interface `iid` (a dispatch-derived one), queried once and kept.
    DispatchRef& Interface(const IID& iid, const char* name);

    IOleObject* Object() const { return object_.get(); }

private:
    class Site;
    void Create(const CLSID& clsid);
    void Load(const std::vector<std::uint8_t>& storedState);
    void SetExtentFor(const RECT& bounds);
    void Teardown() noexcept;

    HWND parent_;
    RECT bounds_;
    HWND window_ = nullptr;
    Site* site_ = nullptr;  // our reference; released in Teardown
    ComPtr<IOleObject> object_;
    ComPtr<IOleInPlaceObject> inPlace_;
    ComPtr<IDispatch> dispatch_;
    std::vector<std::pair<IID, std::unique_ptr<DispatchRef>>> interfaces_;
    bool active_ = false;
};

}  // namespace fw
