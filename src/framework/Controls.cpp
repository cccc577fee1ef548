#include "Controls.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "Application.h"
#include "Error.h"

namespace fw {

namespace {

// Notifications reflected back to the child they concern (see Forms.cpp).
const UINT CN_BASE = 0xBC00;
const UINT CN_COMMAND = CN_BASE + WM_COMMAND;
const UINT CN_CTLCOLOR = CN_BASE + WM_CTLCOLORSTATIC;

// The form's text colour: an identifier (clWindowText) or a plain number.
COLORREF FontColor(const Form& form) {
    const PropValue* v = form.Definition().Find("Font.Color");
    if (!v) return ::GetSysColor(COLOR_WINDOWTEXT);
    if (v->kind == PropValue::Kind::Integer) return ResolveColor(std::uint32_t(v->integer));
    return ResolveColor(ColorFromIdent(form.Definition().Ident("Font.Color", "clWindowText")));
}

// Controls without a colour of their own take their parent's.
COLORREF ParentColorOr(const ObjectDef& def, const Control* parent, COLORREF own) {
    return def.Find("Color") || !parent ? own : parent->Color();
}

bool IsTabStop(HWND w, const Control& c) {
    return c.TabOrder() >= 0 && (::GetWindowLongPtrW(w, GWL_STYLE) & WS_TABSTOP);
}

// Colours the caption of a system static or check box: text in the form's
// font colour on the control's (the parent's) colour.
LRESULT CaptionColors(WPARAM wp, COLORREF text, COLORREF back, HBRUSH brush) {
    HDC dc = reinterpret_cast<HDC>(wp);
    ::SetTextColor(dc, text);
    ::SetBkColor(dc, back);
    return reinterpret_cast<LRESULT>(brush);
}

struct OptionFlag {
    const char* name;
    DWORD flag;
};

const OptionFlag kOpenOptions[] = {
    {"ofReadOnly", OFN_READONLY},
    {"ofOverwritePrompt", OFN_OVERWRITEPROMPT},
    {"ofHideReadOnly", OFN_HIDEREADONLY},
    {"ofNoChangeDir", OFN_NOCHANGEDIR},
    {"ofNoValidate", OFN_NOVALIDATE},
    {"ofExtensionDifferent", OFN_EXTENSIONDIFFERENT},
    {"ofPathMustExist", OFN_PATHMUSTEXIST},
    {"ofFileMustExist", OFN_FILEMUSTEXIST},
    {"ofCreatePrompt", OFN_CREATEPROMPT},
    {"ofShareAware", OFN_SHAREAWARE},
    {"ofNoReadOnlyReturn", OFN_NOREADONLYRETURN},
    {"ofNoTestFileCreate", OFN_NOTESTFILECREATE},
    {"ofNoNetworkButton", OFN_NONETWORKBUTTON},
    {"ofNoDereferenceLinks", OFN_NODEREFERENCELINKS},
    {"ofEnableSizing", OFN_ENABLESIZING},
    {"ofDontAddToRecent", OFN_DONTADDTORECENT},
    {"ofForceShowHidden", OFN_FORCESHOWHIDDEN},
};

std::string AnsiText(const ObjectDef& def, std::string_view prop) { return WideToAnsi(ToWide(def.Text(prop))); }

}  // namespace

// ---- registration and z-order ------------------------------------------------

void RegisterStandardControls() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    Form::RegisterKind("TLabel", [](const ObjectDef& d, Form& f, Control* p) { return std::make_unique<Label>(d, f, p); });
    Form::RegisterKind("TEdit", [](const ObjectDef& d, Form& f, Control* p) { return std::make_unique<Edit>(d, f, p); });
    Form::RegisterKind("TCheckBox",
                       [](const ObjectDef& d, Form& f, Control* p) { return std::make_unique<CheckBox>(d, f, p); });
    Form::RegisterKind("TBevel", [](const ObjectDef& d, Form& f, Control* p) { return std::make_unique<Bevel>(d, f, p); });
    Form::RegisterKind("TSpeedButton",
                       [](const ObjectDef& d, Form& f, Control* p) { return std::make_unique<SpeedButton>(d, f, p); });
    Form::RegisterKind("TOpenDialog", [](const ObjectDef& d, Form&, Control*) { return std::make_unique<OpenDialog>(d); });
}

void PlaceInZOrder(Control& control) {
    HWND w = control.Handle();
    HWND parent = w ? ::GetParent(w) : nullptr;
    if (!parent) return;
    const bool tab = IsTabStop(w, control);
    // Siblings placed before us form a block of tab stops (in TabOrder) on top
    // of everything else: go after the last tab stop that precedes us.
    HWND after = HWND_TOP;
    for (HWND s = ::GetWindow(parent, GW_CHILD); s; s = ::GetWindow(s, GW_HWNDNEXT)) {
        if (s == w) continue;
        const Control* c = Control::FromHandle(s);
        if (!c || !IsTabStop(s, *c)) break;
        if (tab && c->TabOrder() > control.TabOrder()) break;
        after = s;
    }
    ::SetWindowPos(w, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// ---- Label ---------------------------------------------------------------------

Label::Label(const ObjectDef& def, Form& form, Control* parent) : Control(def), textColor_(FontColor(form)) {
    parent_ = parent;
    SetColor(ParentColorOr(def, parent, color_));
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    std::string align = def.Ident("Alignment", "taLeftJustify");
    if (align == "taRightJustify") style |= SS_RIGHT;
    else if (align == "taCenter") style |= SS_CENTER;
    else style |= def.Bool("WordWrap", false) ? SS_LEFT : SS_LEFTNOWORDWRAP;
    if (!def.Bool("ShowAccelChar", true)) style |= SS_NOPREFIX;
    CreateHandle("STATIC", true, style, 0, parent->Handle(), ToWide(def.Text("Caption")));
    PlaceInZOrder(*this);
}

LRESULT Label::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == CN_CTLCOLOR) return CaptionColors(wp, textColor_, color_, brush_);
    return Control::WndProc(msg, wp, lp);
}

// ---- Edit ------------------------------------------------------------------------

Edit::Edit(const ObjectDef& def, Form&, Control* parent) : Control(def) {
    parent_ = parent;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | ES_LEFT | ES_AUTOHSCROLL;
    if (def.Bool("TabStop", true)) style |= WS_TABSTOP;
    if (def.Bool("ReadOnly", false)) style |= ES_READONLY;
    CreateHandle("EDIT", true, style, WS_EX_CLIENTEDGE, parent->Handle(), ToWide(def.Text("Text")));
    if (std::int64_t max = def.Int("MaxLength", 0); max > 0) ::SendMessageW(hwnd_, EM_LIMITTEXT, WPARAM(max), 0);
    PlaceInZOrder(*this);
}

// ---- CheckBox --------------------------------------------------------------------

CheckBox::CheckBox(const ObjectDef& def, Form& form, Control* parent) : Control(def), textColor_(FontColor(form)) {
    parent_ = parent;
    SetColor(ParentColorOr(def, parent, color_));
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_AUTOCHECKBOX;
    if (def.Bool("TabStop", true)) style |= WS_TABSTOP;
    CreateHandle("BUTTON", true, style, 0, parent->Handle(), ToWide(def.Text("Caption")));
    SetChecked(def.Bool("Checked", false));
    PlaceInZOrder(*this);
}

bool CheckBox::Checked() const { return hwnd_ && ::SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void CheckBox::SetChecked(bool checked) {
    if (hwnd_) ::SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

LRESULT CheckBox::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == CN_CTLCOLOR) return CaptionColors(wp, textColor_, color_, brush_);
    if (msg == CN_COMMAND) {
        if (HIWORD(wp) == BN_CLICKED && OnClick) OnClick(*this);
        return 0;
    }
    return Control::WndProc(msg, wp, lp);
}

// ---- DialogButton ----------------------------------------------------------------

DialogButton::DialogButton(const ObjectDef& def, Form&, Control* parent) : Button(def, parent) {
    PlaceInZOrder(*this);
}

LRESULT DialogButton::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
        LRESULT r = Button::WndProc(msg, wp, lp);
        focused_ = msg == WM_SETFOCUS;
        if (hwnd_) ::SendMessageW(hwnd_, BM_SETSTYLE, focused_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
        return r;
    }
    case BM_SETSTYLE:
        // Dialog navigation reports Enter to the focused button only when it
        // is a default button, and moves the default style around on its own
        // (after Tab, for one): whoever asks, the style follows the focus.
        wp = (wp & ~WPARAM(BS_TYPEMASK)) | (focused_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        break;
    }
    return Button::WndProc(msg, wp, lp);
}

// ---- Bevel -----------------------------------------------------------------------

Bevel::Bevel(const ObjectDef& def, Form&, Control* parent) : Control(def) {
    parent_ = parent;
    SetColor(ParentColorOr(def, parent, color_));
    // Clipped by its siblings: the labels placed on it paint over it.
    CreateHandle("TBevel", false, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, parent->Handle(), L"");
    shape_ = def.Ident("Shape", "bsBox");
    raised_ = def.Ident("Style", "bsLowered") == "bsRaised";
    static const char* const kShapes[] = {"bsBox",      "bsFrame",     "bsTopLine", "bsBottomLine",
                                          "bsLeftLine", "bsRightLine", "bsSpacer"};
    if (std::none_of(std::begin(kShapes), std::end(kShapes), [&](const char* s) { return shape_ == s; }))
        throw FormDefError(name_ + ": unknown bevel shape " + shape_);
    PlaceInZOrder(*this);
}

LRESULT Bevel::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd_, &ps);
        RECT r;
        ::GetClientRect(hwnd_, &r);
        if (shape_ == "bsFrame") {
            // Two offset rectangles, shadow and highlight: an etched frame.
            ::DrawEdge(dc, &r, raised_ ? EDGE_BUMP : EDGE_ETCHED, BF_RECT);
        } else if (shape_ == "bsBox") {
            ::DrawEdge(dc, &r, raised_ ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
        } else if (shape_ != "bsSpacer") {
            UINT side = shape_ == "bsTopLine" ? BF_TOP
                        : shape_ == "bsBottomLine" ? BF_BOTTOM
                        : shape_ == "bsLeftLine" ? BF_LEFT
                                                 : BF_RIGHT;
            ::DrawEdge(dc, &r, raised_ ? EDGE_BUMP : EDGE_ETCHED, side);
        }
        ::EndPaint(hwnd_, &ps);
        return 0;
    }
    }
    return Control::WndProc(msg, wp, lp);
}

// ---- SpeedButton -----------------------------------------------------------------

SpeedButton::SpeedButton(const ObjectDef& def, Form&, Control* parent) : Control(def) {
    parent_ = parent;
    // No WS_TABSTOP, and the window never calls SetFocus: a click leaves the
    // focus where it is.
    CreateHandle("TSpeedButton", false, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, parent->Handle(),
                 ToWide(def.Text("Caption")));
    PlaceInZOrder(*this);
}

bool SpeedButton::Inside(LPARAM lp) const {
    RECT r;
    ::GetClientRect(hwnd_, &r);
    POINT p{short(LOWORD(lp)), short(HIWORD(lp))};
    return ::PtInRect(&r, p) != FALSE;
}

void SpeedButton::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd_, &ps);
    RECT r;
    ::GetClientRect(hwnd_, &r);
    const bool enabled = ::IsWindowEnabled(hwnd_) != FALSE;
    UINT state = DFCS_BUTTONPUSH | (pressed_ ? DFCS_PUSHED : 0) | (enabled ? 0 : DFCS_INACTIVE);
    ::DrawFrameControl(dc, &r, DFC_BUTTON, state);
    std::wstring caption = Text();
    if (!caption.empty()) {
        HGDIOBJ oldFont = font_ ? ::SelectObject(dc, font_) : nullptr;
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        if (pressed_) ::OffsetRect(&r, 1, 1);
        ::DrawTextW(dc, caption.c_str(), int(caption.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        if (oldFont) ::SelectObject(dc, oldFont);
    }
    ::EndPaint(hwnd_, &ps);
}

LRESULT SpeedButton::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SETFONT:
        font_ = reinterpret_cast<HFONT>(wp);
        if (LOWORD(lp)) ::InvalidateRect(hwnd_, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_);
    case WM_ERASEBKGND:
        return 1;  // the face covers the whole client area
    case WM_PAINT:
        Paint();
        return 0;
    case WM_SETTEXT:
    case WM_ENABLE: {
        LRESULT r = Control::WndProc(msg, wp, lp);
        ::InvalidateRect(hwnd_, nullptr, TRUE);
        return r;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        ::SetCapture(hwnd_);
        tracking_ = pressed_ = true;
        ::InvalidateRect(hwnd_, nullptr, TRUE);
        return 0;
    case WM_MOUSEMOVE:
        if (tracking_ && Inside(lp) != pressed_) {
            pressed_ = !pressed_;
            ::InvalidateRect(hwnd_, nullptr, TRUE);
        }
        return 0;
    case WM_LBUTTONUP: {
        if (!tracking_) return 0;
        const bool click = Inside(lp);
        tracking_ = pressed_ = false;
        ::ReleaseCapture();
        ::InvalidateRect(hwnd_, nullptr, TRUE);
        ::UpdateWindow(hwnd_);
        if (click && OnClick) OnClick(*this);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (tracking_) {
            tracking_ = pressed_ = false;
            ::InvalidateRect(hwnd_, nullptr, TRUE);
        }
        return 0;
    }
    return Control::WndProc(msg, wp, lp);
}

// ---- OpenDialog ------------------------------------------------------------------

std::string OpenDialogFilter(std::string_view filter, LeadBytePredicate isLead) {
    if (filter.empty()) return std::string();
    std::string out;
    out.reserve(filter.size() + 2);
    for (std::size_t i = 0; i < filter.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(filter[i]);
        if (isLead(b) && i + 1 < filter.size()) {
            out += filter[i];
            out += filter[++i];
        } else {
            out += b == '|' ? '\0' : filter[i];
        }
    }
    out += '\0';
    out += '\0';
    return out;
}

OpenDialog::OpenDialog(const ObjectDef& def) : Component(def) {
    Filter = AnsiText(def, "Filter");
    FilterIndex = int(def.Int("FilterIndex", 1));
    InitialDir = AnsiText(def, "InitialDir");
    FileName = AnsiText(def, "FileName");
    DefaultExt = AnsiText(def, "DefaultExt");
    Title = AnsiText(def, "Title");
    if (const PropValue* options = def.Find("Options")) {
        if (options->kind != PropValue::Kind::Set) throw FormDefError(name_ + ".Options: a set expected");
        for (const std::string& member : options->set) {
            auto it = std::find_if(std::begin(kOpenOptions), std::end(kOpenOptions),
                                   [&](const OptionFlag& o) { return member == o.name; });
            if (it == std::end(kOpenOptions)) throw FormDefError(name_ + ".Options: unsupported " + member);
            Flags |= it->flag;
        }
    }
}

bool OpenDialog::Execute() {
    const std::string filter = OpenDialogFilter(Filter, AnsiLeadByte);
    // Room for any path the dialog may return; it starts with the last one.
    std::vector<char> file(std::max<std::size_t>(FileName.size() + 1, 4096), '\0');
    std::copy(FileName.begin(), FileName.end(), file.begin());

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Owner() ? Owner()->Handle() : nullptr;
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = DWORD(FilterIndex);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = DWORD(file.size());
    ofn.lpstrInitialDir = InitialDir.empty() ? nullptr : InitialDir.c_str();
    ofn.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
    ofn.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
    ofn.Flags = Flags | OFN_EXPLORER;
    if (!::GetOpenFileNameA(&ofn)) {
        if (DWORD err = ::CommDlgExtendedError()) {
            char code[16];
            std::snprintf(code, sizeof code, "%04lX", static_cast<unsigned long>(err));
            throw Error(std::string("The file dialog failed (error ") + code + ")");
        }
        return false;  // cancelled
    }
    FileName = file.data();
    FilterIndex = int(ofn.nFilterIndex);
    return true;
}

}  // namespace fw
