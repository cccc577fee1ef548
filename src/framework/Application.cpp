#include "Application.h"

#include <ole2.h>

#include <algorithm>

#include "Error.h"
#include "Forms.h"
#include "StrUtils.h"

namespace fw {

namespace {
Application* g_app = nullptr;
const char kAppClass[] = "TApplication";
}  // namespace

std::string ModuleFileName() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameA(nullptr, path.data(), DWORD(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool AnsiLeadByte(unsigned char b) { return ::IsDBCSLeadByte(b) != FALSE; }

void AnsiLowerInPlace(std::string& text) {
    if (!text.empty()) ::CharLowerBuffA(text.data(), DWORD(text.size()));
}

int Screen::Width() { return ::GetSystemMetrics(SM_CXSCREEN); }
int Screen::Height() { return ::GetSystemMetrics(SM_CYSCREEN); }

Application::Application() {
    g_app = this;
    exeName_ = ModuleFileName();
    title_ = ApplicationTitle(exeName_, AnsiLeadByte, AnsiLowerInPlace);

    WNDCLASSA wc{};
    wc.lpfnWndProc = AppWndProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hIcon = ::LoadIconA(wc.hInstance, "MAINICON");
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = kAppClass;
    ::RegisterClassA(&wc);
    // A zero-size window at the centre of the screen: it carries the taskbar
    // button and owns the forms and message boxes.
    handle_ = ::CreateWindowExA(0, kAppClass, title_.c_str(),
                                WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                                Screen::Width() / 2, Screen::Height() / 2, 0, 0, nullptr, nullptr,
                                wc.hInstance, nullptr);
}

Application::~Application() {
    // Forms go first, newest first (their controls release COM objects).
    while (!forms_.empty()) forms_.pop_back();
    if (handle_) ::DestroyWindow(handle_);
    if (comInitialized_) ::CoUninitialize();
    g_app = nullptr;
}

Application* Application::Instance() { return g_app; }

void Application::Initialize() {
    comResult_ = ::CoInitialize(nullptr);
    comInitialized_ = SUCCEEDED(comResult_);
}

void Application::AdoptForm(std::unique_ptr<Form> form) {
    if (!mainForm_) {
        mainForm_ = form.get();
        // The taskbar button appears with the main form; a form may hide it
        // again while it is created.
        if (handle_) ::ShowWindow(handle_, SW_SHOWNOACTIVATE);
    }
    forms_.push_back(std::move(form));
}

LRESULT CALLBACK Application::AppWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Application* app = g_app;
    switch (msg) {
    case WM_CLOSE:
        if (app && app->mainForm_) {
            app->mainForm_->Close();
            return 0;
        }
        break;
    case WM_SYSCOMMAND:
        // Restoring from the taskbar button brings back the main form.
        if ((wp & 0xFFF0) == SC_RESTORE && app && app->mainForm_ && app->mainForm_->Handle()) {
            ::ShowWindow(hwnd, SW_RESTORE);
            ::SetForegroundWindow(app->mainForm_->Handle());
            return 0;
        }
        break;
    case WM_ACTIVATEAPP:
        break;
    }
    return ::DefWindowProcA(hwnd, msg, wp, lp);
}

int Application::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    HWND owner = handle_;
    HWND active = ::GetActiveWindow();
    int r = ::MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
    if (active && ::IsWindow(active)) ::SetActiveWindow(active);
    return r;
}

void Application::ShowErrorBox(const std::string& message) {
    MessageBox(ErrorBoxText(message, AnsiLeadByte), title_, MB_OK | MB_ICONSTOP);
}

void Application::HandleException() {
    try {
        throw;
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    } catch (...) {
        ShowErrorBox("Unknown error");
    }
}

int Application::AddMessageHook(MessageHook hook) {
    hooks_.push_back({nextHookId_, std::move(hook), nullptr});
    return nextHookId_++;
}

int Application::AddIdleHook(IdleHook hook) {
    hooks_.push_back({nextHookId_, nullptr, std::move(hook)});
    return nextHookId_++;
}

void Application::RemoveHook(int id) {
    hooks_.erase(std::remove_if(hooks_.begin(), hooks_.end(), [id](const Hook& h) { return h.id == id; }),
                 hooks_.end());
}

bool Application::ProcessMessage() {
    MSG msg;
    if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    bool handled = false;
    // Copy: a hook may add or remove hooks.
    std::vector<MessageHook> hooks;
    for (const Hook& h : hooks_)
        if (h.message) hooks.push_back(h.message);
    for (const MessageHook& hook : hooks) {
        try {
            hook(msg, handled);
        } catch (...) {
            HandleException();
        }
        if (handled) break;
    }
    if (handled) return true;
    try {
        if (Form::PreTranslate(msg)) return true;
    } catch (...) {
        HandleException();
        return true;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
    return true;
}

void Application::Idle() {
    bool done = true;
    std::vector<IdleHook> hooks;
    for (const Hook& h : hooks_)
        if (h.idle) hooks.push_back(h.idle);
    for (const IdleHook& hook : hooks) {
        try {
            hook(done);
        } catch (...) {
            HandleException();
        }
    }
    if (done && !terminated_) ::WaitMessage();
}

void Application::ProcessMessages() {
    while (ProcessMessage()) {
        if (terminated_) break;
    }
}

void Application::Run() {
    running_ = true;
    if (mainForm_) {
        // A main form whose creation failed part-way is still shown and runs.
        if (mainForm_->Handle() && !::IsWindowVisible(mainForm_->Handle())) {
            try {
                mainForm_->SetVisible(true);
            } catch (...) {
                HandleException();
            }
        }
    }
    while (!terminated_) {
        if (!ProcessMessage()) Idle();
    }
    running_ = false;
}

void Application::Terminate() {
    if (!terminated_) ::PostQuitMessage(0);
}

}  // namespace fw
