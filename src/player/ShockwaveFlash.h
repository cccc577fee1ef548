// The movie control as the player window uses it: a typed wrapper over the
// hosted ActiveX control. Properties go through the control's IDispatch by
// dispatch id; the methods through its IShockwaveFlash interface (obtained
// once), whose members are bound by name once, through that interface's
// dispatch part.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "OleHost.h"

class TShockwaveFlash {
public:
    // {D27CDB6E-AE6D-11CF-96B8-444553540000}
    static constexpr CLSID kClassId = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
    // {D27CDB6C-AE6D-11CF-96B8-444553540000}: IShockwaveFlash.
    static constexpr IID kIShockwaveFlash = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
    static constexpr DISPID kDispMovie = 102;
    static constexpr DISPID kDispBackgroundColor = 123;
    static constexpr DISPID kDispTotalFrames = 124;

    // Creates and activates the control in `parent` at `bounds` with its
    // stored state; throws fw::Error (class not registered among others).
    TShockwaveFlash(HWND parent, const std::vector<std::uint8_t>& storedState, const RECT& bounds);

    void SetBackgroundColor(std::int32_t color);
    void SetMovie(const std::wstring& path);
    std::int32_t TotalFrames();
    std::int32_t CurrentFrame();
    void Play();
    void Rewind();

    fw::OleControl& Control() { return control_; }

private:
    DISPID Id(DISPID& cached, const wchar_t* name);

    fw::OleControl control_;
    fw::DispatchRef* flash_ = nullptr;  // owned by control_
    DISPID currentFrameId_ = DISPID_UNKNOWN;
    DISPID playId_ = DISPID_UNKNOWN;
    DISPID rewindId_ = DISPID_UNKNOWN;
};
