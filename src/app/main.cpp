// The main block: command line -> run mode -> single-instance guard -> the
// mode's main window and message loop. Every road ends with exit code 0.
#include <windows.h>

#include "Application.h"
#include "Password.h"
#include "RunModes.h"
#include "StrUtils.h"
#include "Unit1.h"
#include "Unit3.h"
#include "UnitGlobal.h"

static int RunSaver() {
    const char* cmd = ::GetCommandLineA();
    Param1 = fw::UpperCaseAscii(app::ParamStr(cmd, 1, fw::AnsiLeadByte));
    Param2 = fw::UpperCaseAscii(app::ParamStr(cmd, 2, fw::AnsiLeadByte));

    std::optional<TRunMode> mode = app::ClassifyParam(Param1);
    if (!mode) return 0;
    RunMode = *mode;

    if (RunMode == rmPassword) {
        app::ChangePasswordAtStartup();
        return 0;
    }

    fw::Application application;

    // Owned by this block until the process ends: released, never closed
    // (the system closes it at exit).
    ::SetLastError(0);
    HANDLE mutex = ::CreateMutexA(nullptr, TRUE, app::kSingleInstanceMutexName);
    if (::GetLastError() != 0) {
        application.MessageBox(app::kSecondInstanceMessage, application.Title(), MB_OK);
        return 0;
    }

    application.Initialize();
    if (RunMode == rmPreview) {
        if (mutex) ::ReleaseMutex(mutex);
        return 0;
    }
    try {
        if (RunMode == rmConfig) application.CreateForm<TForm3>();
        else application.CreateForm<TForm1>();
        application.Run();
    } catch (...) {
        application.HandleException();
    }
    if (mutex) ::ReleaseMutex(mutex);
    return 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int code = RunSaver();
    // Leave through ExitProcess so that no exit path reports anything but 0.
    ::ExitProcess(UINT(code));
}
