// The settings dialog: the movie file (typed, or picked with the file-open
// dialog) and whether the movie is fitted to the screen. Read when shown,
// written only by OK.
#pragma once
#include <windows.h>

#include <memory>

#include "Controls.h"
#include "Forms.h"

class TForm3 : public fw::Form {
public:
    TForm3();

private:
    // Handlers named in the form definition.
    void FormShow(fw::Component& sender);
    void SpeedButton1Click(fw::Component& sender);
    void ButtonOKClick(fw::Component& sender);
    void ButtonCancelClick(fw::Component& sender);

    void LoadDialogOptions();
    void SaveDialogOptions();

    std::unique_ptr<fw::Component> CreateComponent(const fw::ObjectDef& def, fw::Control* parent) override;
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

    fw::Edit* EditMovieFileName = nullptr;
    fw::CheckBox* CheckBoxExpansion = nullptr;
    fw::OpenDialog* OpenDialog1 = nullptr;

    // The child that had the focus when the form last lost it: it gets it
    // back when the form is activated again. Null: the first tab stop.
    HWND FActiveControl = nullptr;
};
