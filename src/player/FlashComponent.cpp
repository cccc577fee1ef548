#include "FlashComponent.h"

#include "Application.h"

FlashComponent::FlashComponent(const fw::ObjectDef& def, fw::Control* parent) : fw::Control(def) {
    parent_ = parent;
    const std::vector<std::uint8_t>* state = def.Binary("ControlData");
    std::vector<std::uint8_t> stored = state ? *state : std::vector<std::uint8_t>();
    RECT r{left_, top_, left_ + width_, top_ + height_};
    try {
        flash_ = std::make_unique<TShockwaveFlash>(parent->Handle(), stored, r);
        hwnd_ = nullptr;  // the control's window is its own, not ours
    } catch (...) {
        if (fw::Application* app = fw::Application::Instance()) app->HandleException();
    }
}

FlashComponent::~FlashComponent() = default;

void FlashComponent::SetBounds(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (flash_) flash_->Control().SetBounds(RECT{left, top, left + width, top + height});
}

void FlashComponent::SetVisible(bool visible) {
    visible_ = visible;
    if (flash_) flash_->Control().SetVisible(visible);
}
