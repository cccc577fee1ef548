// Forms and controls: windows owned by objects, created from a form
// definition, with the events the handlers bind to by name.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "FormDef.h"

namespace fw {

class Component;
class Control;
class Form;

enum class MouseButton { Left, Right, Middle };
enum ShiftFlags : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32 };
using ShiftState = unsigned;
enum class CloseAction { None, Hide, Free, Minimize };

using NotifyEvent = std::function<void(Component& sender)>;
using KeyEvent = std::function<void(Component& sender, WORD& key, ShiftState shift)>;
using MouseEvent = std::function<void(Component& sender, MouseButton button, ShiftState shift, int x, int y)>;
using MouseMoveEvent = std::function<void(Component& sender, ShiftState shift, int x, int y)>;
using CloseEvent = std::function<void(Component& sender, CloseAction& action)>;
using MessageEvent = std::function<void(MSG& msg, bool& handled)>;
using IdleEvent = std::function<void(Component& sender, bool& done)>;
using Handler = std::variant<NotifyEvent, KeyEvent, MouseEvent, MouseMoveEvent, CloseEvent, MessageEvent, IdleEvent>;

// Anything a form definition names: owned by its form.
class Component {
public:
    explicit Component(const ObjectDef& def);
    virtual ~Component() = default;
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    const std::string& Name() const { return name_; }
    Form* Owner() const { return owner_; }

    // Binds a handler to one of the component's events ("OnClick" ...).
    // Unknown events and handlers of the wrong kind are errors.
    virtual void SetEvent(const std::string& event, const Handler& handler);

protected:
    friend class Form;
    std::string name_;
    Form* owner_ = nullptr;
};

// A component with a window.
class Control : public Component {
public:
    explicit Control(const ObjectDef& def);
    ~Control() override;

    HWND Handle() const { return hwnd_; }
    Control* Parent() const { return parent_; }
    static Control* FromHandle(HWND hwnd);
    // The nearest framework control at or above a window.
    static Control* Enclosing(HWND hwnd);

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    virtual void SetBounds(int left, int top, int width, int height);
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    // Fills the parent's client area, now and whenever the parent is resized.
    void AlignClient();
    bool AlignedToClient() const { return alignClient_; }

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    COLORREF Color() const { return color_; }
    void SetColor(COLORREF color);
    std::wstring Text() const;
    void SetText(const std::wstring& text);
    int TabOrder() const { return tabOrder_; }

    void SetEvent(const std::string& event, const Handler& handler) override;

    MouseEvent OnMouseDown;
    MouseMoveEvent OnMouseMove;
    KeyEvent OnKeyDown;
    NotifyEvent OnClick;

protected:
    friend class Form;
    // Creates the window: a class of the framework's own (registered on first
    // use, null background brush: erasing paints Color()) or a system class,
    // which is then subclassed.
    void CreateHandle(const char* className, bool systemClass, DWORD style, DWORD exStyle, HWND parent,
                      const std::wstring& text);
    virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT DefaultProc(UINT msg, WPARAM wp, LPARAM lp);
    void ChildrenRealign();
    void PaintBackground(HDC dc);
    // Child controls created from the definition, in creation order.
    std::vector<Control*> children_;

    HWND hwnd_ = nullptr;
    Control* parent_ = nullptr;
    WNDPROC oldProc_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    bool alignClient_ = false;
    int tabOrder_ = -1;
    COLORREF color_ = 0;
    HBRUSH brush_ = nullptr;

private:
    static LRESULT CALLBACK StaticWndProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);
    bool HandleMouse(UINT msg, WPARAM wp, LPARAM lp);
};

// A non-windowed component that sees the application's messages and idle passes.
class ApplicationEvents : public Component {
public:
    explicit ApplicationEvents(const ObjectDef& def);
    ~ApplicationEvents() override;
    void SetEvent(const std::string& event, const Handler& handler) override;

    MessageEvent OnMessage;
    IdleEvent OnIdle;

private:
    int messageHook_ = 0;
    int idleHook_ = 0;
};

// A panel: a plain coloured child window that parents other controls.
class Panel : public Control {
public:
    Panel(const ObjectDef& def, Control* parent);
};

// A push button.
class Button : public Control {
public:
    Button(const ObjectDef& def, Control* parent);

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

// A top-level form: loads its definition (an RCDATA resource named after its
// class), creates its components, binds the handlers it registered by name.
class Form : public Control {
public:
    // `resourceName`: the form definition resource ("TFORM1").
    explicit Form(const char* resourceName);
    ~Form() override;

    // Called by the application object after construction.
    void Create();
    // Closes the form; closing the main form ends the application.
    void Close();

    bool KeyPreview() const { return keyPreview_; }
    HFONT Font() const { return font_; }
    const ObjectDef& Definition() const { return def_; }

    template <typename T = Component>
    T& Find(const std::string& name) const;

    void SetVisible(bool visible) override;

    // Dialog navigation and key preview for messages of the framework's loop;
    // true when the message was consumed.
    static bool PreTranslate(MSG& msg);

    NotifyEvent OnCreate;
    NotifyEvent OnShow;
    NotifyEvent OnActivate;
    CloseEvent OnClose;

    void SetEvent(const std::string& event, const Handler& handler) override;

    // Component kinds a form definition may name; forms and libraries add
    // their own ("TShockwaveFlash"). The factory returns the new component.
    using Factory = std::function<std::unique_ptr<Component>(const ObjectDef& def, Form& form, Control* parent)>;
    static void RegisterKind(const std::string& className, Factory factory);

protected:
    // Registers a handler under the name the form definition uses.
    void Bind(const std::string& name, Handler handler);
    // Lets a form create components of kinds only it knows.
    virtual std::unique_ptr<Component> CreateComponent(const ObjectDef& def, Control* parent);
    // Whether Tab/Enter/Escape go through dialog navigation.
    void SetDialogKeys(bool on) { dialogKeys_ = on; }

    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void LoadComponents(const ObjectDef& def, Control* parent);
    void BindEvents(Component& c, const ObjectDef& def);

    std::string resourceName_;
    ObjectDef def_;
    std::vector<std::unique_ptr<Component>> components_;
    std::map<std::string, Handler> handlers_;
    HFONT font_ = nullptr;
    bool keyPreview_ = false;
    bool dialogKeys_ = false;
    bool created_ = false;
    bool shown_ = false;
    bool centreOnScreen_ = false;
};

template <typename T>
T& Form::Find(const std::string& name) const {
    for (const auto& c : components_)
        if (c->Name() == name)
            if (T* t = dynamic_cast<T*>(c.get())) return *t;
    throw FormDefError("form " + def_.name + " has no component " + name + " of the expected kind");
}

// UTF-16 helpers.
std::wstring ToWide(const std::u16string& s);
// ANSI (active code page) <-> UTF-16.
std::wstring AnsiToWide(const std::string& s);
std::string WideToAnsi(const std::wstring& w);
// Resolves a form-definition colour (system colours included).
COLORREF ResolveColor(std::uint32_t color);

}  // namespace fw
