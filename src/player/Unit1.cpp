#include "Unit1.h"

#include "Application.h"
#include "FlashComponent.h"
#include "MovieHeader.h"
#include "Options.h"
#include "Password.h"
#include "PlayerLogic.h"
#include "ScopedWin.h"
#include "Standin.h"
#include "UnitGlobal.h"

std::int32_t IgnoreMoveCount = 0;
bool MovieStarted = false;

namespace {

const UINT kSpiScreenSaverRunning = 0x61;

// An existing file: a folder or an empty name counts as missing.
bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    DWORD attr = ::GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

TForm1::TForm1() : fw::Form("TFORM1") {
    // Where no movie control is registered, play with the one carried inside
    // this program, so the saver alone is enough to install.
    fw::OleControl::SetUnregisteredClassHook(&StandinGetClassObject);
    Bind("FormCreate", fw::NotifyEvent([this](fw::Component& s) { FormCreate(s); }));
    Bind("FormActivate", fw::NotifyEvent([this](fw::Component& s) { FormActivate(s); }));
    Bind("FormClose", fw::CloseEvent([this](fw::Component& s, fw::CloseAction& a) { FormClose(s, a); }));
    Bind("ButtonCloseClick", fw::NotifyEvent([this](fw::Component& s) { ButtonCloseClick(s); }));
    Bind("ApplicationEvents1Idle", fw::IdleEvent([this](fw::Component& s, bool& d) { ApplicationEvents1Idle(s, d); }));
    Bind("ApplicationEvents1Message", fw::MessageEvent([this](MSG& m, bool& h) { ApplicationEvents1Message(m, h); }));
    Bind("FormKeyDown", fw::KeyEvent([this](fw::Component& s, WORD& k, fw::ShiftState sh) { FormKeyDown(s, k, sh); }));
    Bind("FormMouseDown", fw::MouseEvent([this](fw::Component& s, fw::MouseButton b, fw::ShiftState sh, int x, int y) {
             FormMouseDown(s, b, sh, x, y);
         }));
    Bind("Panel1MouseDown", fw::MouseEvent([this](fw::Component& s, fw::MouseButton b, fw::ShiftState sh, int x, int y) {
             Panel1MouseDown(s, b, sh, x, y);
         }));
    Bind("FormMouseMove",
         fw::MouseMoveEvent([this](fw::Component& s, fw::ShiftState sh, int x, int y) { FormMouseMove(s, sh, x, y); }));
    Bind("Panel1MouseMove",
         fw::MouseMoveEvent([this](fw::Component& s, fw::ShiftState sh, int x, int y) { Panel1MouseMove(s, sh, x, y); }));
}

TForm1::~TForm1() {
    // Withdraw the announcement: a flag left set keeps system keys disabled
    // on older systems.
    if (FScreenSaverAnnounced) {
        UINT scratch = 0;
        ::SystemParametersInfoA(kSpiScreenSaverRunning, 0, &scratch, 0);
    }
}

std::unique_ptr<fw::Component> TForm1::CreateComponent(const fw::ObjectDef& def, fw::Control* parent) {
    if (def.className == "TShockwaveFlash") {
        auto flash = std::make_unique<FlashComponent>(def, parent);
        ShockwaveFlash1 = flash.get();
        return flash;
    }
    std::unique_ptr<fw::Component> c = fw::Form::CreateComponent(def, parent);
    if (c && def.name == "Panel1") Panel1 = static_cast<fw::Control*>(c.get());
    return c;
}

TShockwaveFlash* TForm1::Flash() const { return ShockwaveFlash1 ? ShockwaveFlash1->Flash() : nullptr; }

void TForm1::FormCreate(fw::Component&) {
    IgnoreMoveCount = 5;
    FFirstActivate = true;
    SetColor(RGB(0, 0, 0));
    SetBounds(0, 0, fw::Screen::Width(), fw::Screen::Height());
    FLastX = -1;
    FLastY = -1;
    UINT scratch = 0;
    ::SystemParametersInfoA(kSpiScreenSaverRunning, 1, &scratch, 0);
    FScreenSaverAnnounced = true;
    ::ShowCursor(FALSE);
    ReadSettingsIntoForm();
    Panel1->AlignClient();
    if (FileExists(FFileName)) FFirstActivate = LoadMovie(FFileName, FExpansion);
    else FFirstActivate = false;
    if (fw::Application* app = fw::Application::Instance()) ::ShowWindow(app->Handle(), SW_HIDE);
    SetVisible(true);
}

void TForm1::ReadSettingsIntoForm() {
    Options o = ReadOptions();
    FExpansion = o.Expansion;
    FFileName = o.FileName;
}

bool TForm1::LoadMovie(const std::string& path, bool expansion) {
    TShockwaveFlash* flash = Flash();
    // Without a control there is nothing to show the movie with: stay a
    // black screen that closes on input.
    if (!flash) return false;
    flash->SetBackgroundColor(0);
    std::optional<MovieHeader> header = ReadMovieHeader(path);
    std::optional<std::int32_t> w, h;
    if (header) {
        w = MovieWidth(*header);
        h = MovieHeight(*header);
    }
    if (expansion || !header) {
        ShockwaveFlash1->AlignClient();
    } else {
        player::Placement p = player::PlaceMovie(fw::Screen::Width(), fw::Screen::Height(), false, w, h);
        ShockwaveFlash1->SetBounds(p.left, p.top, p.width, p.height);
    }
    flash->SetMovie(fw::AnsiToWide(path));
    flash->Play();
    MovieStarted = true;
    return true;
}

void TForm1::FormActivate(fw::Component&) {
    if (!FFirstActivate) return;
    FFirstActivate = false;
    if (FileExists(FFileName)) {
        Panel1->SetVisible(true);
        Panel1->AlignClient();
    }
}

void TForm1::FormClose(fw::Component&, fw::CloseAction&) {}

void TForm1::ButtonCloseClick(fw::Component&) { Close(); }

void TForm1::ApplicationEvents1Idle(fw::Component&, bool&) {
    TShockwaveFlash* flash = Flash();
    if (!flash) return;
    std::int32_t total = flash->TotalFrames();
    std::int32_t current = flash->CurrentFrame();
    if (player::AtLastFrame(total, current)) {
        flash->Rewind();
        flash->Play();
    }
}

void TForm1::ApplicationEvents1Message(MSG& msg, bool& handled) {
    switch (player::FilterMessage(msg.message, MovieStarted, IgnoreMoveCount)) {
    case player::FilterResult::Pass:
        break;
    case player::FilterResult::Swallow:
        handled = true;
        break;
    case player::FilterResult::SwallowAndEnd:
        handled = true;
        EndSaver();
        break;
    }
}

void TForm1::FormKeyDown(fw::Component&, WORD&, fw::ShiftState) { EndSaver(); }

void TForm1::FormMouseDown(fw::Component&, fw::MouseButton button, fw::ShiftState, int, int) {
    // Right-button presses are taken by the message filter.
    if (button != fw::MouseButton::Right) EndSaver();
}

void TForm1::Panel1MouseDown(fw::Component&, fw::MouseButton button, fw::ShiftState, int, int) {
    if (button != fw::MouseButton::Right) EndSaver();
}

void TForm1::FormMouseMove(fw::Component&, fw::ShiftState, int x, int y) { MouseMoved(x, y); }

void TForm1::Panel1MouseMove(fw::Component&, fw::ShiftState, int x, int y) { MouseMoved(x, y); }

void TForm1::MouseMoved(int x, int y) {
    player::MoveState s{IgnoreMoveCount, FLastX, FLastY};
    player::MoveResult r = player::ApplyMouseMove(s, x, y);
    IgnoreMoveCount = s.ignoreMoveCount;
    FLastX = s.lastX;
    FLastY = s.lastY;
    if (r == player::MoveResult::EndSaver) EndSaver();
}

void TForm1::EndSaver() {
    // While the password routine's own dialog runs, this window's handlers
    // stay live; a second entry would call the routine twice and close the
    // window under it.
    if (FInPasswordCall) return;
    if (RunMode == rmSaver) {
        IgnoreMoveCount = 5;
        fw::ScopedKey desktop;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_ALL_ACCESS, desktop.receive()) ==
            ERROR_SUCCESS) {
            FInPasswordCall = true;
            ::ShowCursor(TRUE);
            try {
                if (fw::Application* app = fw::Application::Instance()) ::ShowWindow(app->Handle(), SW_HIDE);
                app::ChangePasswordAtClose();
            } catch (...) {
                // Nothing from the password call may stop the saver closing.
            }
            ::ShowCursor(FALSE);
            FInPasswordCall = false;
        }
    }
    Close();
}

LRESULT TForm1::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kMsgClose) {
        EndSaver();
        return 0;
    }
    if (msg == kMsgIgnored) return 0;
    return fw::Form::WndProc(msg, wp, lp);
}
