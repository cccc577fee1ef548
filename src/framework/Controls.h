// The standard controls a dialog-like form is made of: labels, edit boxes,
// check boxes, bevels, speed buttons, push buttons that act as the default
// button while focused, and the file-open dialog. Each takes its place, size,
// caption and tab order from its form definition and the font of its form.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "Forms.h"
#include "StrUtils.h"

namespace fw {

// Adds TLabel, TEdit, TCheckBox, TBevel, TSpeedButton and TOpenDialog to the
// kinds a form definition may name. Forms that use them call this before
// their definition is loaded; later calls change nothing.
void RegisterStandardControls();

// Moves a newly created child window to its place among its siblings in the
// z-order: tab stops on top, in TabOrder (so dialog navigation and
// GetNextDlgTabItem walk them in that order), everything else below them,
// newer above older, the way overlapping shapes and labels are painted.
void PlaceInZOrder(Control& control);

// A static caption. Its background is its parent's colour.
class Label : public Control {
public:
    Label(const ObjectDef& def, Form& form, Control* parent);

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    COLORREF textColor_;
};

// A single-line edit box with the sunken client edge.
class Edit : public Control {
public:
    Edit(const ObjectDef& def, Form& form, Control* parent);
};

// A check box; its caption sits on the parent's colour.
class CheckBox : public Control {
public:
    CheckBox(const ObjectDef& def, Form& form, Control* parent);

    bool Checked() const;
    void SetChecked(bool checked);

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    COLORREF textColor_;
};

// A push button that is the default button exactly while it has the focus:
// Enter clicks it then, and it shows the default frame. No other button of
// the form is ever the default one.
class DialogButton : public Button {
public:
    DialogButton(const ObjectDef& def, Form& form, Control* parent);

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    bool focused_ = false;
};

// A decorative etched frame (the framed bevel); mouse input passes through it.
class Bevel : public Control {
public:
    Bevel(const ObjectDef& def, Form& form, Control* parent);

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    std::string shape_;  // bsBox, bsFrame, bsTopLine ... bsSpacer
    bool raised_ = false;
};

// A button drawn by the framework that never takes the focus: clicking it
// leaves the focus where it was (in the edit box it serves, typically).
class SpeedButton : public Control {
public:
    SpeedButton(const ObjectDef& def, Form& form, Control* parent);

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Paint();
    bool Inside(LPARAM lp) const;

    HFONT font_ = nullptr;
    bool tracking_ = false;  // the left button went down on us and is held
    bool pressed_ = false;   // drawn pushed in: tracking with the pointer inside
};

// The '|'-separated filter of the file dialogs ("Text (*.txt)|*.TXT|...") in
// the form the system takes: each piece ends with a NUL, the list with one more.
// A '|' that is the second byte of a double-byte character is part of it.
// Empty for an empty filter.
std::string OpenDialogFilter(std::string_view filter, LeadBytePredicate isLead);

// The file-open dialog (GetOpenFileNameA, Explorer style). Not a window.
class OpenDialog : public Component {
public:
    explicit OpenDialog(const ObjectDef& def);

    std::string Filter;      // '|'-separated
    int FilterIndex = 1;     // 1-based
    std::string InitialDir;  // empty: the system's choice
    std::string FileName;    // shown when the dialog opens; the confirmed path after Execute
    std::string DefaultExt;  // empty: nothing is appended to names typed without an extension
    std::string Title;       // empty: the system's title
    DWORD Flags = 0;         // OFN_* from the definition's Options (OFN_EXPLORER is always added)

    // Runs the dialog owned by the form; true when the user confirmed a file.
    // Raises Error when the dialog itself fails.
    bool Execute();
};

}  // namespace fw
