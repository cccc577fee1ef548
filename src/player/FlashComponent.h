// The movie control as a component of the player window's form: created from
// its form definition (designed place, stored state), placed and aligned like
// any control. When the control cannot be created the error is reported once
// and the component stays empty, so the window still runs.
#pragma once
#include <memory>

#include "Forms.h"
#include "ShockwaveFlash.h"

class FlashComponent : public fw::Control {
public:
    FlashComponent(const fw::ObjectDef& def, fw::Control* parent);
    ~FlashComponent() override;

    // Null when the control could not be created.
    TShockwaveFlash* Flash() const { return flash_.get(); }

    void SetBounds(int left, int top, int width, int height) override;
    void SetVisible(bool visible) override;

private:
    std::unique_ptr<TShockwaveFlash> flash_;
};
