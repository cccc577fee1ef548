#include "Unit3.h"

#include "Application.h"
#include "Options.h"
#include "StrUtils.h"

TForm3::TForm3() : fw::Form("TFORM3") {
    fw::RegisterStandardControls();
    // Tab moves between the controls; Enter and Escape reach no default or
    // cancel button (there is none), so they do nothing outside a button.
    SetDialogKeys(true);
    Bind("FormShow", fw::NotifyEvent([this](fw::Component& s) { FormShow(s); }));
    Bind("SpeedButton1Click", fw::NotifyEvent([this](fw::Component& s) { SpeedButton1Click(s); }));
    Bind("ButtonOKClick", fw::NotifyEvent([this](fw::Component& s) { ButtonOKClick(s); }));
    Bind("ButtonCancelClick", fw::NotifyEvent([this](fw::Component& s) { ButtonCancelClick(s); }));
}

std::unique_ptr<fw::Component> TForm3::CreateComponent(const fw::ObjectDef& def, fw::Control* parent) {
    std::unique_ptr<fw::Component> c;
    if (def.className == "TButton") c = std::make_unique<fw::DialogButton>(def, *this, parent);
    else c = fw::Form::CreateComponent(def, parent);
    if (!c) return c;
    if (def.name == "EditMovieFileName") EditMovieFileName = dynamic_cast<fw::Edit*>(c.get());
    else if (def.name == "CheckBoxExpansion") CheckBoxExpansion = dynamic_cast<fw::CheckBox*>(c.get());
    else if (def.name == "OpenDialog1") OpenDialog1 = dynamic_cast<fw::OpenDialog*>(c.get());
    return c;
}

LRESULT TForm3::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            if (focus && ::IsChild(hwnd_, focus)) FActiveControl = focus;
        }
        break;
    case WM_SETFOCUS: {
        // The form itself has nothing to type into: pass the focus on.
        HWND target = FActiveControl && ::IsWindow(FActiveControl) ? FActiveControl
                                                                   : ::GetNextDlgTabItem(hwnd_, nullptr, FALSE);
        if (target) {
            ::SetFocus(target);
            return 0;
        }
        break;
    }
    }
    return fw::Form::WndProc(msg, wp, lp);
}

void TForm3::FormShow(fw::Component&) { LoadDialogOptions(); }

void TForm3::SpeedButton1Click(fw::Component&) {
    const std::string text = fw::WideToAnsi(EditMovieFileName->Text());
    OpenDialog1->InitialDir = fw::ExtractFilePath(text, fw::AnsiLeadByte);
    OpenDialog1->Filter = "swf files (*.swf)|*.SWF";
    // The dialog disables this form, which drops the focus before the form
    // hears it is inactive: remember where it was now.
    HWND focus = ::GetFocus();
    if (focus && ::IsChild(hwnd_, focus)) FActiveControl = focus;
    if (OpenDialog1->Execute()) EditMovieFileName->SetText(fw::AnsiToWide(OpenDialog1->FileName));
}

void TForm3::ButtonOKClick(fw::Component&) {
    // A failed write raises before the close: the dialog stays open.
    SaveDialogOptions();
    Close();
}

void TForm3::ButtonCancelClick(fw::Component&) { Close(); }

void TForm3::LoadDialogOptions() {
    Options options = ReadOptions();
    CheckBoxExpansion->SetChecked(options.Expansion);
    EditMovieFileName->SetText(fw::AnsiToWide(options.FileName));
}

void TForm3::SaveDialogOptions() {
    WriteOptions(CheckBoxExpansion->Checked(), fw::WideToAnsi(EditMovieFileName->Text()));
}
