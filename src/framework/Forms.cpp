#include "Forms.h"

#include <windowsx.h>

#include <algorithm>

#include "Application.h"
#include "Error.h"

namespace fw {

namespace {

const char kControlProp[] = "fw.Control";
// Notifications a parent passes back to the child control they concern.
const UINT CN_BASE = 0xBC00;
const UINT CN_COMMAND = CN_BASE + WM_COMMAND;
const UINT CN_CTLCOLOR = CN_BASE + WM_CTLCOLORSTATIC;

std::map<std::string, Form::Factory>& Kinds() {
    static std::map<std::string, Form::Factory> kinds;
    return kinds;
}

ShiftState KeyShift() {
    ShiftState s = 0;
    if (::GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (::GetKeyState(VK_MENU) < 0) s |= ssAlt;
    if (::GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    return s;
}

ShiftState MouseShift(WPARAM wp) {
    ShiftState s = 0;
    if (wp & MK_SHIFT) s |= ssShift;
    if (wp & MK_CONTROL) s |= ssCtrl;
    if (wp & MK_LBUTTON) s |= ssLeft;
    if (wp & MK_RBUTTON) s |= ssRight;
    if (wp & MK_MBUTTON) s |= ssMiddle;
    if (::GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

template <typename E>
void Assign(E& slot, const Handler& h, const std::string& event, const std::string& who) {
    if (const E* e = std::get_if<E>(&h)) {
        slot = *e;
        return;
    }
    throw FormDefError("handler of the wrong kind for " + who + "." + event);
}

}  // namespace

std::wstring ToWide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

std::wstring AnsiToWide(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(std::size_t(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), w.data(), n);
    return w;
}

std::string WideToAnsi(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = ::WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(std::size_t(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

COLORREF ResolveColor(std::uint32_t color) {
    if (color & 0x80000000u) return ::GetSysColor(int(color & 0xFF));
    return COLORREF(color);
}

// ---- Component ----------------------------------------------------------

Component::Component(const ObjectDef& def) : name_(def.name) {}

void Component::SetEvent(const std::string& event, const Handler&) {
    throw FormDefError(name_ + " has no event " + event);
}

// ---- Control ------------------------------------------------------------

Control::Control(const ObjectDef& def) : Component(def) {
    left_ = int(def.Int("Left", 0));
    top_ = int(def.Int("Top", 0));
    width_ = int(def.Int("Width", 0));
    height_ = int(def.Int("Height", 0));
    visible_ = def.Bool("Visible", true);
    tabOrder_ = int(def.Int("TabOrder", -1));
    if (def.Find("Color")) color_ = ResolveColor(ColorFromIdent(def.Ident("Color", "clBtnFace")));
    else color_ = ::GetSysColor(COLOR_BTNFACE);
    brush_ = ::CreateSolidBrush(color_);
    alignClient_ = def.Ident("Align", "alNone") == "alClient";
}

Control::~Control() {
    if (hwnd_ && ::IsWindow(hwnd_)) {
        ::RemovePropA(hwnd_, kControlProp);
        if (oldProc_) ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
        ::DestroyWindow(hwnd_);
    }
    hwnd_ = nullptr;
    if (brush_) ::DeleteObject(brush_);
}

Control* Control::FromHandle(HWND hwnd) {
    return hwnd ? static_cast<Control*>(::GetPropA(hwnd, kControlProp)) : nullptr;
}

Control* Control::Enclosing(HWND hwnd) {
    for (HWND w = hwnd; w; w = ::GetParent(w))
        if (Control* c = FromHandle(w)) return c;
    return nullptr;
}

void Control::CreateHandle(const char* className, bool systemClass, DWORD style, DWORD exStyle, HWND parent,
                           const std::wstring& text) {
    HINSTANCE inst = ::GetModuleHandleW(nullptr);
    std::wstring cls = AnsiToWide(className);
    if (!systemClass) {
        WNDCLASSEXW wc{};
        if (!::GetClassInfoExW(inst, cls.c_str(), &wc)) {
            wc = WNDCLASSEXW{};
            wc.cbSize = sizeof wc;
            wc.style = CS_DBLCLKS;
            wc.lpfnWndProc = StaticWndProc;
            wc.hInstance = inst;
            wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
            wc.hIcon = ::LoadIconA(inst, "MAINICON");
            // No class brush: erasing paints the control's own colour, so a
            // black window is black from its first paint.
            wc.hbrBackground = nullptr;
            wc.lpszClassName = cls.c_str();
            if (!::RegisterClassExW(&wc)) RaiseLastOSError("RegisterClass " + std::string(className));
        }
    }
    if (!visible_) style &= ~DWORD(WS_VISIBLE);
    HWND w = ::CreateWindowExW(exStyle, cls.c_str(), text.c_str(), style, left_, top_, width_, height_, parent,
                               nullptr, inst, systemClass ? nullptr : this);
    if (!w) RaiseLastOSError("CreateWindow " + std::string(className) + " " + name_);
    if (systemClass) {
        hwnd_ = w;
        ::SetPropA(w, kControlProp, this);
        oldProc_ = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Control::StaticWndProc)));
    }
    if (owner_ && owner_->Font() && this != owner_) ::SendMessageW(w, WM_SETFONT, WPARAM(owner_->Font()), FALSE);
}

LRESULT CALLBACK Control::StaticWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Control* self = FromHandle(hwnd);
    if (!self && msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        self = static_cast<Control*>(cs->lpCreateParams);
        if (self) {
            self->hwnd_ = hwnd;
            ::SetPropA(hwnd, kControlProp, self);
        }
    }
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        LRESULT r = self->DefaultProc(msg, wp, lp);
        ::RemovePropA(hwnd, kControlProp);
        self->hwnd_ = nullptr;
        return r;
    }
    try {
        return self->Dispatch(msg, wp, lp);
    } catch (...) {
        if (Application* app = Application::Instance()) app->HandleException();
        return 0;
    }
}

LRESULT Control::DefaultProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (oldProc_) return ::CallWindowProcW(oldProc_, hwnd_, msg, wp, lp);
    return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT Control::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        // Pass notifications back to the child they concern.
        if (lp) {
            if (Control* child = FromHandle(reinterpret_cast<HWND>(lp))) {
                child->WndProc(CN_COMMAND, wp, lp);
                return 0;
            }
        }
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
        if (Control* child = FromHandle(reinterpret_cast<HWND>(lp))) {
            LRESULT r = child->WndProc(CN_CTLCOLOR, wp, lp);
            if (r) return r;
        }
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        WORD key = WORD(wp);
        ShiftState shift = KeyShift();
        Form* form = owner_;
        if (form && form != this && form->KeyPreview() && form->OnKeyDown) {
            form->OnKeyDown(*form, key, shift);
            if (key == 0) return 0;
        }
        if (OnKeyDown) {
            OnKeyDown(*this, key, shift);
            if (key == 0) return 0;
        }
        break;
    }
    default:
        if (HandleMouse(msg, wp, lp)) return 0;
        break;
    }
    return WndProc(msg, wp, lp);
}

bool Control::HandleMouse(UINT msg, WPARAM wp, LPARAM lp) {
    int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (OnMouseDown) OnMouseDown(*this, MouseButton::Left, MouseShift(wp), x, y);
        return false;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        if (OnMouseDown) OnMouseDown(*this, MouseButton::Right, MouseShift(wp), x, y);
        return false;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        if (OnMouseDown) OnMouseDown(*this, MouseButton::Middle, MouseShift(wp), x, y);
        return false;
    case WM_MOUSEMOVE:
        if (OnMouseMove) OnMouseMove(*this, MouseShift(wp), x, y);
        return false;
    }
    return false;
}

LRESULT Control::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        if (!oldProc_) {
            PaintBackground(reinterpret_cast<HDC>(wp));
            return 1;
        }
        break;
    case WM_SIZE:
        ChildrenRealign();
        break;
    case CN_COMMAND:
    case CN_CTLCOLOR:
        return 0;
    }
    return DefaultProc(msg, wp, lp);
}

void Control::PaintBackground(HDC dc) {
    RECT r;
    ::GetClientRect(hwnd_, &r);
    ::FillRect(dc, &r, brush_);
}

void Control::SetBounds(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (hwnd_) ::MoveWindow(hwnd_, left, top, width, height, TRUE);
}

void Control::AlignClient() {
    alignClient_ = true;
    RECT r{};
    if (parent_ && parent_->hwnd_) ::GetClientRect(parent_->hwnd_, &r);
    else if (hwnd_ && ::GetParent(hwnd_)) ::GetClientRect(::GetParent(hwnd_), &r);
    SetBounds(0, 0, r.right - r.left, r.bottom - r.top);
}

void Control::ChildrenRealign() {
    for (Control* c : children_)
        if (c->alignClient_) c->AlignClient();
}

void Control::SetVisible(bool visible) {
    visible_ = visible;
    if (hwnd_) ::ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

void Control::SetColor(COLORREF color) {
    color_ = color;
    HBRUSH old = brush_;
    brush_ = ::CreateSolidBrush(color);
    if (old) ::DeleteObject(old);
    if (hwnd_) ::InvalidateRect(hwnd_, nullptr, TRUE);
}

std::wstring Control::Text() const {
    if (!hwnd_) return std::wstring();
    int n = ::GetWindowTextLengthW(hwnd_);
    std::wstring s(std::size_t(n) + 1, L'\0');
    n = ::GetWindowTextW(hwnd_, s.data(), n + 1);
    s.resize(std::size_t(n > 0 ? n : 0));
    return s;
}

void Control::SetText(const std::wstring& text) {
    if (hwnd_) ::SetWindowTextW(hwnd_, text.c_str());
}

void Control::SetEvent(const std::string& event, const Handler& h) {
    if (event == "OnMouseDown") Assign(OnMouseDown, h, event, name_);
    else if (event == "OnMouseMove") Assign(OnMouseMove, h, event, name_);
    else if (event == "OnKeyDown") Assign(OnKeyDown, h, event, name_);
    else if (event == "OnClick") Assign(OnClick, h, event, name_);
    else Component::SetEvent(event, h);
}

// ---- ApplicationEvents ----------------------------------------------------

ApplicationEvents::ApplicationEvents(const ObjectDef& def) : Component(def) {
    Application* app = Application::Instance();
    if (!app) throw Error("no application object");
    messageHook_ = app->AddMessageHook([this](MSG& msg, bool& handled) {
        if (OnMessage) OnMessage(msg, handled);
    });
    idleHook_ = app->AddIdleHook([this](bool& done) {
        if (OnIdle) OnIdle(*this, done);
    });
}

ApplicationEvents::~ApplicationEvents() {
    if (Application* app = Application::Instance()) {
        app->RemoveHook(messageHook_);
        app->RemoveHook(idleHook_);
    }
}

void ApplicationEvents::SetEvent(const std::string& event, const Handler& h) {
    if (event == "OnMessage") Assign(OnMessage, h, event, name_);
    else if (event == "OnIdle") Assign(OnIdle, h, event, name_);
    else Component::SetEvent(event, h);
}

// ---- Panel, Button --------------------------------------------------------

Panel::Panel(const ObjectDef& def, Control* parent) : Control(def) {
    parent_ = parent;
    CreateHandle("TPanel", false, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, parent->Handle(),
                 L"");
}

Button::Button(const ObjectDef& def, Control* parent) : Control(def) {
    parent_ = parent;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
    CreateHandle("BUTTON", true, style, 0, parent->Handle(), ToWide(def.Text("Caption")));
}

LRESULT Button::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == CN_BASE + WM_COMMAND) {
        if (HIWORD(wp) == BN_CLICKED && OnClick) OnClick(*this);
        return 0;
    }
    return Control::WndProc(msg, wp, lp);
}

// ---- Form ------------------------------------------------------------------

static ObjectDef LoadDefinition(const char* resourceName) {
    HMODULE mod = ::GetModuleHandleW(nullptr);
    HRSRC res = ::FindResourceA(mod, resourceName, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!res) throw Error(std::string("form definition ") + resourceName + " not found");
    HGLOBAL data = ::LoadResource(mod, res);
    const char* text = data ? static_cast<const char*>(::LockResource(data)) : nullptr;
    if (!text) throw Error(std::string("form definition ") + resourceName + " cannot be loaded");
    return ParseFormDef(std::string_view(text, ::SizeofResource(mod, res)));
}

Form::Form(const char* resourceName) : Control(ObjectDef{}), resourceName_(resourceName) { owner_ = this; }

Form::~Form() {
    // Components go before the form's window, newest first: children before
    // their parents, so a hosted control is torn down while its parent lives.
    while (!components_.empty()) components_.pop_back();
    if (font_) ::DeleteObject(font_);
}

void Form::RegisterKind(const std::string& className, Factory factory) { Kinds()[className] = std::move(factory); }

void Form::Bind(const std::string& name, Handler handler) { handlers_[name] = std::move(handler); }

void Form::Create() {
    def_ = LoadDefinition(resourceName_.c_str());
    name_ = def_.name;
    // Form settings.
    color_ = ResolveColor(ColorFromIdent(def_.Ident("Color", "clBtnFace")));
    if (brush_) ::DeleteObject(brush_);
    brush_ = ::CreateSolidBrush(color_);
    keyPreview_ = def_.Bool("KeyPreview", false);
    visible_ = def_.Bool("Visible", false);
    centreOnScreen_ = def_.Ident("Position", "poDesigned") == "poScreenCenter";

    std::wstring face = ToWide(def_.Text("Font.Name", u"MS Sans Serif"));
    LOGFONTW lf{};
    lf.lfHeight = LONG(def_.Int("Font.Height", -11));
    lf.lfWeight = FW_NORMAL;
    std::string charset = def_.Ident("Font.Charset", "DEFAULT_CHARSET");
    lf.lfCharSet = charset == "SHIFTJIS_CHARSET" ? SHIFTJIS_CHARSET : DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    font_ = ::CreateFontIndirectW(&lf);

    std::string border = def_.Ident("BorderStyle", "bsSizeable");
    DWORD style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    if (border == "bsNone") {
        style |= WS_POPUP;
    } else if (border == "bsDialog") {
        style |= WS_POPUP | WS_CAPTION | DS_MODALFRAME;
        exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
        if (def_.HasInSet("BorderIcons", "biSystemMenu")) style |= WS_SYSMENU;
    } else {
        style |= WS_OVERLAPPEDWINDOW;
    }
    RECT r{0, 0, LONG(def_.Int("ClientWidth", 300)), LONG(def_.Int("ClientHeight", 200))};
    ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    left_ = int(def_.Int("Left", 0));
    top_ = int(def_.Int("Top", 0));
    width_ = r.right - r.left;
    height_ = r.bottom - r.top;
    bool wantVisible = visible_;
    visible_ = false;
    Application* app = Application::Instance();
    CreateHandle(def_.className.c_str(), false, style, exStyle, app ? app->Handle() : nullptr,
                 ToWide(def_.Text("Caption")));
    ::SendMessageW(hwnd_, WM_SETFONT, WPARAM(font_), FALSE);

    LoadComponents(def_, this);
    BindEvents(*this, def_);
    created_ = true;

    if (OnCreate) {
        try {
            OnCreate(*this);
        } catch (...) {
            // The rest of the handler is skipped; the form lives on.
            if (app) app->HandleException();
        }
    }
    if (wantVisible && !visible_) SetVisible(true);
}

void Form::LoadComponents(const ObjectDef& def, Control* parent) {
    for (const ObjectDef& child : def.children) {
        std::unique_ptr<Component> c = CreateComponent(child, parent);
        if (!c) throw FormDefError("form " + def_.name + ": unknown component kind " + child.className);
        c->owner_ = this;
        Component* raw = c.get();
        components_.push_back(std::move(c));
        auto* ctl = dynamic_cast<Control*>(raw);
        if (ctl) {
            parent->children_.push_back(ctl);
            if (ctl->hwnd_ && font_) ::SendMessageW(ctl->hwnd_, WM_SETFONT, WPARAM(font_), FALSE);
            if (ctl->alignClient_) ctl->AlignClient();
        }
        BindEvents(*raw, child);
        if (!child.children.empty()) {
            if (!ctl) throw FormDefError("form " + def_.name + ": " + child.name + " cannot hold components");
            LoadComponents(child, ctl);
        }
    }
}

std::unique_ptr<Component> Form::CreateComponent(const ObjectDef& def, Control* parent) {
    if (def.className == "TPanel") return std::make_unique<Panel>(def, parent);
    if (def.className == "TButton") return std::make_unique<Button>(def, parent);
    if (def.className == "TApplicationEvents") return std::make_unique<ApplicationEvents>(def);
    auto it = Kinds().find(def.className);
    if (it != Kinds().end()) return it->second(def, *this, parent);
    return nullptr;
}

void Form::BindEvents(Component& c, const ObjectDef& def) {
    for (const auto& [prop, value] : def.props) {
        if (prop.size() < 3 || prop.compare(0, 2, "On") != 0) continue;
        if (value.kind != PropValue::Kind::Ident) throw FormDefError(c.Name() + "." + prop + ": handler name expected");
        auto it = handlers_.find(value.ident);
        if (it == handlers_.end()) throw FormDefError("form " + def_.name + " has no handler " + value.ident);
        c.SetEvent(prop, it->second);
    }
}

void Form::SetEvent(const std::string& event, const Handler& h) {
    if (event == "OnCreate") Assign(OnCreate, h, event, name_);
    else if (event == "OnShow") Assign(OnShow, h, event, name_);
    else if (event == "OnActivate") Assign(OnActivate, h, event, name_);
    else if (event == "OnClose") Assign(OnClose, h, event, name_);
    else Control::SetEvent(event, h);
}

void Form::SetVisible(bool visible) {
    if (!visible) {
        Control::SetVisible(false);
        return;
    }
    if (visible_ && hwnd_ && ::IsWindowVisible(hwnd_)) return;
    visible_ = true;
    if (!created_ || !hwnd_) return;
    if (!shown_ && centreOnScreen_) {
        left_ = (Screen::Width() - width_) / 2;
        top_ = (Screen::Height() - height_) / 2;
        ::SetWindowPos(hwnd_, nullptr, left_, top_, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    shown_ = true;
    if (OnShow) OnShow(*this);
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);
    ::SetActiveWindow(hwnd_);
}

void Form::Close() {
    CloseAction action = CloseAction::Hide;
    if (OnClose) OnClose(*this, action);
    if (action == CloseAction::None) return;
    Application* app = Application::Instance();
    if (app && app->MainForm() == this) {
        app->Terminate();
    } else if (hwnd_) {
        Control::SetVisible(false);
    }
}

LRESULT Form::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE && OnActivate) OnActivate(*this);
        break;
    case WM_COMMAND:
        // Buttons without handlers of their own (Enter and Escape through
        // dialog navigation arrive as IDOK / IDCANCEL): nothing to do.
        return 0;
    case DM_GETDEFID:
        return 0;
    }
    return Control::WndProc(msg, wp, lp);
}

bool Form::PreTranslate(MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN && msg.message != WM_CHAR) return false;
    Control* c = Control::Enclosing(msg.hwnd);
    if (!c) return false;
    Form* form = c->Owner();
    if (!form) return false;
    // Keys to windows that are not ours (a hosted control's own window) still
    // reach the form's key preview.
    if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && !Control::FromHandle(msg.hwnd) &&
        form->keyPreview_ && form->OnKeyDown) {
        WORD key = WORD(msg.wParam);
        form->OnKeyDown(*form, key, KeyShift());
        if (key == 0) return true;
    }
    if (form->dialogKeys_ && form->hwnd_ && ::IsDialogMessageW(form->hwnd_, &msg)) return true;
    return false;
}

}  // namespace fw
