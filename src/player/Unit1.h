// The player window: covers the primary screen with black, hosts the movie
// control, starts the configured movie, restarts it at its last frame, and
// closes when the user comes back.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "Forms.h"

class TShockwaveFlash;
class FlashComponent;

// Mouse moves still to be ignored; shared by the message filter and the
// form's own move handlers.
extern std::int32_t IgnoreMoveCount;
// Set once a movie has been handed to the control; never cleared.
extern bool MovieStarted;

class TForm1 : public fw::Form {
public:
    TForm1();
    ~TForm1() override;

    // Private window messages: WM_USER + 2 closes like user activity,
    // WM_USER + 1 is accepted and ignored.
    static constexpr UINT kMsgIgnored = WM_USER + 1;
    static constexpr UINT kMsgClose = WM_USER + 2;

private:
    // Handlers named in the form definition.
    void FormCreate(fw::Component& sender);
    void FormActivate(fw::Component& sender);
    void FormClose(fw::Component& sender, fw::CloseAction& action);
    void ButtonCloseClick(fw::Component& sender);
    void ApplicationEvents1Idle(fw::Component& sender, bool& done);
    void ApplicationEvents1Message(MSG& msg, bool& handled);
    void FormKeyDown(fw::Component& sender, WORD& key, fw::ShiftState shift);
    void FormMouseDown(fw::Component& sender, fw::MouseButton button, fw::ShiftState shift, int x, int y);
    void Panel1MouseDown(fw::Component& sender, fw::MouseButton button, fw::ShiftState shift, int x, int y);
    void FormMouseMove(fw::Component& sender, fw::ShiftState shift, int x, int y);
    void Panel1MouseMove(fw::Component& sender, fw::ShiftState shift, int x, int y);

    void ReadSettingsIntoForm();
    bool LoadMovie(const std::string& path, bool expansion);
    void MouseMoved(int x, int y);
    void EndSaver();

    std::unique_ptr<fw::Component> CreateComponent(const fw::ObjectDef& def, fw::Control* parent) override;
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

    // The movie control, or null when it could not be created.
    TShockwaveFlash* Flash() const;

    std::int32_t FLastX = -1;
    std::int32_t FLastY = -1;
    bool FExpansion = false;
    std::string FFileName;
    bool FFirstActivate = true;

    fw::Control* Panel1 = nullptr;
    FlashComponent* ShockwaveFlash1 = nullptr;

    bool FScreenSaverAnnounced = false;
    bool FInPasswordCall = false;
};
