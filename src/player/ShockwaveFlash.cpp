#include "ShockwaveFlash.h"

TShockwaveFlash::TShockwaveFlash(HWND parent, const std::vector<std::uint8_t>& storedState, const RECT& bounds)
    : control_(parent, kClassId, storedState, bounds) {}

void TShockwaveFlash::SetBackgroundColor(std::int32_t color) { control_.SetIntProperty(kDispBackgroundColor, color); }

void TShockwaveFlash::SetMovie(const std::wstring& path) { control_.SetStringProperty(kDispMovie, path); }

std::int32_t TShockwaveFlash::TotalFrames() { return control_.GetIntProperty(kDispTotalFrames); }

// The interface and the ids are fetched on first use, so a control that
// lacks them fails the call that needs them, not the window's creation.
DISPID TShockwaveFlash::Id(DISPID& cached, const wchar_t* name) {
    if (!flash_) flash_ = &control_.Interface(kIShockwaveFlash, "IShockwaveFlash");
    if (cached == DISPID_UNKNOWN) cached = flash_->IdOf(name);
    return cached;
}

std::int32_t TShockwaveFlash::CurrentFrame() {
    DISPID id = Id(currentFrameId_, L"CurrentFrame");
    return flash_->CallInt(id, "CurrentFrame");
}

void TShockwaveFlash::Play() {
    DISPID id = Id(playId_, L"Play");
    flash_->Call(id, "Play");
}

void TShockwaveFlash::Rewind() {
    DISPID id = Id(rewindId_, L"Rewind");
    flash_->Call(id, "Rewind");
}
