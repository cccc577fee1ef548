// The application object: COM apartment, the hidden application window that
// carries the taskbar button, the forms, and the message loop with its
// message hooks (each message taken from the queue, before dispatch) and idle
// hooks (each time the queue runs empty; then the loop waits for a message).
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fw {

class Form;

using MessageHook = std::function<void(MSG& msg, bool& handled)>;
using IdleHook = std::function<void(bool& done)>;

class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The one application object of the process (null before it exists).
    static Application* Instance();

    // Initialises COM for the GUI thread (single-threaded apartment).
    void Initialize();

    // Creates a form; the first one created becomes the main form.
    template <typename T, typename... Args>
    T& CreateForm(Args&&... args) {
        auto form = std::make_unique<T>(std::forward<Args>(args)...);
        T& ref = *form;
        AdoptForm(std::move(form));
        ref.Create();
        return ref;
    }

    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Dispatches what is queued now (no idle pass, no wait).
    void ProcessMessages();

    Form* MainForm() const { return mainForm_; }
    HWND Handle() const { return handle_; }
    const std::string& ExeName() const { return exeName_; }
    const std::string& Title() const { return title_; }

    // The plain modal message box (ANSI text), owned by the application window.
    int MessageBox(const std::string& text, const std::string& caption, UINT flags);
    // The standard error box: application title, error icon, OK.
    void ShowErrorBox(const std::string& message);
    // Reports the exception being handled (call inside a catch block).
    void HandleException();

    int AddMessageHook(MessageHook hook);
    int AddIdleHook(IdleHook hook);
    void RemoveHook(int id);

private:
    void AdoptForm(std::unique_ptr<Form> form);
    bool ProcessMessage();
    void Idle();
    static LRESULT CALLBACK AppWndProc(HWND, UINT, WPARAM, LPARAM);

    struct Hook {
        int id;
        MessageHook message;
        IdleHook idle;
    };

    HWND handle_ = nullptr;
    HRESULT comResult_ = E_FAIL;
    bool comInitialized_ = false;
    bool terminated_ = false;
    bool running_ = false;
    std::string exeName_;
    std::string title_;
    std::vector<std::unique_ptr<Form>> forms_;
    Form* mainForm_ = nullptr;
    std::vector<Hook> hooks_;
    int nextHookId_ = 1;
};

// The running executable's full path (ANSI).
std::string ModuleFileName();
// IsDBCSLeadByte for the active ANSI code page.
bool AnsiLeadByte(unsigned char b);
// Lower-cases ANSI text with the system's rules.
void AnsiLowerInPlace(std::string& text);

// The primary screen.
struct Screen {
    static int Width();
    static int Height();
};

}  // namespace fw
