// The settings dialog, driven from outside like a user would: the saver runs
// in settings mode, the test reads its windows back, clicks and types through
// SendInput, drives the file-open dialog and checks what reached the registry.
// Each case runs its own copy of the saver, so each has its own settings key.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Controls.h"
#include "check.h"
#include "driver.h"

namespace {

const DWORD kTimeout = 15000;
// How long a key that must do nothing is given to do something.
const DWORD kSettle = 600;

std::string KeyOf(const std::string& base) { return "Software\\qrnsoftware\\" + base; }
std::string SectionOf(const std::string& base) { return KeyOf(base) + "\\OPTION"; }

// A value exactly as stored (UTF-16, with whatever NUL was counted in its
// size); "<missing>" when the value or its key is absent.
std::wstring Stored(const std::string& base, const char* name) {
    HKEY k = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, drv::Utf8ToWide(SectionOf(base)).c_str(), 0, KEY_READ, &k) !=
        ERROR_SUCCESS)
        return L"<missing>";
    const std::wstring wname = drv::Utf8ToWide(name);
    DWORD type = 0, size = 0;
    std::wstring data = L"<missing>";
    if (::RegQueryValueExW(k, wname.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        data.assign((size + 1) / 2, L'\0');
        ::RegQueryValueExW(k, wname.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        data.resize(size / 2);
        if (type != REG_SZ) data = L"<type " + std::to_wstring(type) + L">";
    }
    ::RegCloseKey(k);
    return data;
}

// What OK is expected to leave: both strings with their terminating NUL.
std::wstring Sz(const std::wstring& s) { return s + L'\0'; }

void Store(const std::string& base, const char* expansion, const std::string& fileName) {
    drv::RegDeleteTreeCU(KeyOf(base));
    REQUIRE(drv::RegSetStringCU(SectionOf(base), "Expansion", expansion));
    REQUIRE(drv::RegSetStringCU(SectionOf(base), "FileName", fileName));
}

// ---- the running dialog ---------------------------------------------------------

struct Dialog {
    drv::Process process;
    HWND form = nullptr;
    HWND label2 = nullptr, edit = nullptr, speed = nullptr, check = nullptr, cancel = nullptr, ok = nullptr,
         bevel = nullptr, label3 = nullptr, label1 = nullptr;
};

HWND Child(HWND form, const char* cls, const wchar_t* text) {
    HWND found = nullptr;
    int count = 0;
    for (HWND c = ::GetWindow(form, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (drv::ClassName(c) != cls) continue;
        if (text && drv::TextW(c) != text) continue;
        found = c;
        ++count;
    }
    return count == 1 ? found : nullptr;
}

// Starts a copy of the saver named `base`.scr with `args` and waits for its dialog.
Dialog Open(const std::string& base, const std::string& args = "") {
    Dialog d;
    const std::string exe = drv::CopyTo(drv::SaverExe(), drv::WorkDir(), base + ".scr");
    REQUIRE(!exe.empty());
    // Wine has been seen to refuse a process start now and then on a busy
    // machine (CreateProcess error 1359) before any code of ours ran: retry that.
    for (int attempt = 0; attempt < 3 && !d.process.Pid(); ++attempt) {
        if (attempt) drv::Sleep(1000);
        d.process = drv::Process::Start(exe, args);
    }
    d.form = drv::WaitForWindow(d.process.Pid(), "TForm3", kTimeout);
    REQUIRE(d.form != nullptr);
    d.label2 = Child(d.form, "Static", L"SWFファイル");
    d.edit = Child(d.form, "Edit", nullptr);
    d.speed = Child(d.form, "TSpeedButton", L"...");
    d.check = Child(d.form, "Button", L"画面サイズにあわせる");
    d.cancel = Child(d.form, "Button", L"Cancel");
    d.ok = Child(d.form, "Button", L"OK");
    d.bevel = Child(d.form, "TBevel", nullptr);
    d.label3 = Child(d.form, "Static", L"Version 1.1 Build2002.10.05");
    d.label1 = Child(d.form, "Static", L"Freeware. Use at your own risk.");
    for (HWND w : {d.label2, d.edit, d.speed, d.check, d.cancel, d.ok, d.bevel, d.label3, d.label1}) REQUIRE(w);
    return d;
}

HWND FocusOf(HWND w) {
    GUITHREADINFO gi{};
    gi.cbSize = sizeof gi;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(w, nullptr), &gi)) return nullptr;
    return gi.hwndFocus;
}

// A control's text through WM_GETTEXT: GetWindowText does not ask the
// windows of other processes, and an edit box keeps its text to itself.
std::wstring TextOf(HWND w) {
    LRESULT n = ::SendMessageW(w, WM_GETTEXTLENGTH, 0, 0);
    std::wstring s(std::size_t(n) + 1, L'\0');
    n = ::SendMessageW(w, WM_GETTEXT, WPARAM(s.size()), reinterpret_cast<LPARAM>(s.data()));
    s.resize(std::size_t(n > 0 ? n : 0));
    return s;
}

bool Checked(HWND box) { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }
LONG ButtonType(HWND b) { return ::GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK; }

// The process ended by itself, with exit code 0.
bool Ended(drv::Process& p) { return p.Wait(kTimeout) && p.ExitCode() == 0; }

// Still running with its dialog shown and no message box.
bool StillOpen(const Dialog& d) {
    if (!d.process.Running() || !::IsWindowVisible(d.form) || !::IsWindowEnabled(d.form)) return false;
    for (HWND w : drv::TopWindows(d.process.Pid()))
        if (drv::ClassName(w) == "#32770" && ::IsWindowVisible(w)) return false;
    return true;
}

// ---- input ----------------------------------------------------------------------


void Key(WORD vk, bool shift = false) {
    drv::KeyPress(vk, shift ? VK_SHIFT : 0);
    drv::Sleep(150);
}

void Type(const std::wstring& text) {
    for (wchar_t c : text) {
        INPUT in[2]{};
        in[0].type = in[1].type = INPUT_KEYBOARD;
        in[0].ki.wScan = in[1].ki.wScan = WORD(c);
        in[0].ki.dwFlags = KEYEVENTF_UNICODE;
        in[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        ::SendInput(2, in, sizeof(INPUT));
    }
    drv::Sleep(200);
}

// Clicks into the edit box and replaces its text by typing.
void Retype(const Dialog& d, const std::wstring& text) {
    drv::Click(d.edit);
    REQUIRE(drv::WaitUntil([&] { return FocusOf(d.form) == d.edit; }, 3000));
    ::SendMessageW(d.edit, EM_SETSEL, 0, -1);
    Type(text);
    REQUIRE(drv::WaitUntil([&] { return TextOf(d.edit) == text; }, 3000));
}


// ---- the file-open dialog ---------------------------------------------------------

// The saver's file-open dialog: a #32770 box with a file-name field.
struct FileDialog {
    HWND hwnd = nullptr;
    HWND name = nullptr;  // the file-name edit
};

FileDialog WaitForFileDialog(DWORD pid) {
    FileDialog f;
    drv::WaitUntil(
        [&] {
            for (HWND w : drv::TopWindows(pid)) {
                if (drv::ClassName(w) != "#32770" || !::IsWindowVisible(w)) continue;
                // The name field: an edit (edt1), or the edit inside the name combo (cmb13).
                for (HWND c : drv::Descendants(w)) {
                    const int id = ::GetDlgCtrlID(c);
                    if (drv::ClassName(c) == "Edit" && (id == 0x480 || id == 0x47C)) {
                        f.hwnd = w;
                        f.name = c;
                        return true;
                    }
                }
            }
            return false;
        },
        kTimeout);
    return f;
}

// Types `name` into the dialog's name field and confirms it.
void ChooseFile(const FileDialog& f, const std::wstring& name) {
    ::SendMessageW(f.name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
    ::PostMessageW(f.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    REQUIRE(drv::WaitUntil([&] { return !::IsWindow(f.hwnd) || !::IsWindowVisible(f.hwnd); }, kTimeout));
}

}  // namespace

// ---- cases --------------------------------------------------------------------------

TEST_CASE(window_controls_and_tab_order) {
    struct Expect {
        const char* name;
        HWND Dialog::*hwnd;
        const char* cls;
        std::wstring text;
        RECT rect;  // left, top, right, bottom in the client area
    };
    const Expect expected[] = {
        {"Label2", &Dialog::label2, "Static", L"SWFファイル", {8, 8, 72, 20}},
        {"EditMovieFileName", &Dialog::edit, "Edit", L"", {8, 24, 289, 44}},
        {"SpeedButton1", &Dialog::speed, "TSpeedButton", L"...", {288, 24, 308, 44}},
        {"CheckBoxExpansion", &Dialog::check, "Button", L"画面サイズにあわせる", {8, 56, 145, 73}},
        {"ButtonCancel", &Dialog::cancel, "Button", L"Cancel", {152, 80, 225, 105}},
        {"ButtonOK", &Dialog::ok, "Button", L"OK", {232, 80, 305, 105}},
        {"Bevel1", &Dialog::bevel, "TBevel", L"", {0, 112, 313, 153}},
        {"Label3", &Dialog::label3, "Static", L"Version 1.1 Build2002.10.05", {8, 120, 147, 132}},
        {"Label1", &Dialog::label1, "Static", L"Freeware. Use at your own risk.", {8, 136, 203, 148}},
    };
    for (const char* args : {"", "/c:1234", "/c"}) {
        const std::string row = std::string("args '") + args + "'";
        drv::RegDeleteTreeCU(KeyOf("layout"));
        Dialog d = Open("layout", args);

        CHECK_EQ_AT(row, drv::TextW(d.form), std::wstring(L"設定"));
        RECT client{};
        ::GetClientRect(d.form, &client);
        CHECK_EQ_AT(row, drv::Describe(client), std::string("(0,0 313x161)"));
        // Centred on the 1024 x 768 screen.
        RECT win = drv::WindowRectOf(d.form);
        CHECK_EQ_AT(row, LONG(win.left), LONG((1024 - (win.right - win.left)) / 2));
        CHECK_EQ_AT(row, LONG(win.top), LONG((768 - (win.bottom - win.top)) / 2));
        // Dialog border, system menu only.
        const LONG style = ::GetWindowLongW(d.form, GWL_STYLE), ex = ::GetWindowLongW(d.form, GWL_EXSTYLE);
        CHECK_EQ_AT(row, (style & WS_SYSMENU) != 0, true);
        CHECK_EQ_AT(row, (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) != 0, false);
        CHECK_EQ_AT(row, (ex & WS_EX_DLGMODALFRAME) != 0, true);
        CHECK_EQ_AT(row, (ex & WS_EX_CONTEXTHELP) != 0, false);

        int children = 0;
        for (HWND c = ::GetWindow(d.form, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) ++children;
        CHECK_EQ_AT(row, children, 9);
        for (const Expect& e : expected) {
            const std::string at = row + " " + e.name;
            HWND w = d.*e.hwnd;
            CHECK_EQ_AT(at, drv::ClassName(w), std::string(e.cls));
            CHECK_EQ_AT(at, TextOf(w), e.text);
            CHECK_EQ_AT(at, drv::Describe(drv::RectInParent(w)), drv::Describe(e.rect));
        }
        const LONG editStyle = ::GetWindowLongW(d.edit, GWL_STYLE);
        CHECK_EQ_AT(row, (editStyle & (ES_AUTOHSCROLL | ES_MULTILINE)), LONG(ES_AUTOHSCROLL));
        CHECK_EQ_AT(row, (::GetWindowLongW(d.edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0, true);
        CHECK_EQ_AT(row, ButtonType(d.check), LONG(BS_AUTOCHECKBOX));
        CHECK_EQ_AT(row, (::GetWindowLongW(d.speed, GWL_STYLE) & WS_TABSTOP) != 0, false);

        // ButtonOK has the focus; Tab walks OK, Cancel, check box, edit box and
        // around again, Shift+Tab the other way.
        REQUIRE(drv::WaitUntil([&] { return FocusOf(d.form) == d.ok; }, 3000));
        const HWND forward[] = {d.cancel, d.check, d.edit, d.ok};
        HWND at = d.ok;
        for (HWND next : forward) {
            at = ::GetNextDlgTabItem(d.form, at, FALSE);
            CHECK_EQ_AT(row, at, next);
        }
        CHECK_EQ_AT(row, ::GetNextDlgTabItem(d.form, d.ok, TRUE), d.edit);
        // The keyboard goes the same way.
        for (HWND next : forward) {
            Key(VK_TAB);
            CHECK_EQ_AT(row, FocusOf(d.form), next);
        }
        Key(VK_TAB, true);
        CHECK_EQ_AT(row, FocusOf(d.form), d.edit);

        drv::Click(d.cancel);
        CHECK_EQ_AT(row, Ended(d.process), true);
    }
}

TEST_CASE(first_start_shows_nothing_and_ok_stores_empty_settings) {
    drv::RegDeleteTreeCU(KeyOf("first"));
    Dialog d = Open("first");
    drv::Sleep(200);
    CHECK_EQ(TextOf(d.edit), std::wstring());
    CHECK_EQ(Checked(d.check), false);
    drv::Click(d.ok);
    REQUIRE(Ended(d.process));
    CHECK_EQ(Stored("first", "FileName"), Sz(L""));
    CHECK_EQ(Stored("first", "Expansion"), Sz(L"0"));
}

TEST_CASE(ok_stores_what_the_dialog_shows_after_editing) {
    struct Row {
        const char* name;
        const char* expansion;     // stored before
        std::string fileName;      // stored before
        bool shownChecked;         // what the dialog shows
        std::wstring typed;        // typed over the edit text ("" = left alone)
        bool toggle;               // click the check box
        const wchar_t* expansionAfter;
        std::wstring fileNameAfter;
    };
    const Row rows[] = {
        {"type a path and check", "0", "C:\\old.swf", false, L"D:\\Movies\\my film.SWF", true, L"1",
         L"D:\\Movies\\my film.SWF"},
        {"uncheck only", "1", "C:\\keep.swf", true, L"", true, L"0", L"C:\\keep.swf"},
        {"text kept as typed", "2", "x", true, L"  not a movie.txt ", false, L"1", L"  not a movie.txt "},
    };
    for (const Row& r : rows) {
        Store("edited", r.expansion, r.fileName);
        Dialog d = Open("edited");
        drv::Sleep(200);
        CHECK_EQ_AT(r.name, TextOf(d.edit), drv::Utf8ToWide(r.fileName));
        CHECK_EQ_AT(r.name, Checked(d.check), r.shownChecked);
        if (!r.typed.empty()) Retype(d, r.typed);
        if (r.toggle) {
            drv::Click(d.check);
            CHECK_EQ_AT(r.name, Checked(d.check), !r.shownChecked);
        }
        drv::Click(d.ok);
        CHECK_EQ_AT(r.name, Ended(d.process), true);
        CHECK_EQ_AT(r.name, Stored("edited", "FileName"), Sz(r.fileNameAfter));
        CHECK_EQ_AT(r.name, Stored("edited", "Expansion"), Sz(r.expansionAfter));
    }
}

TEST_CASE(closing_without_ok_writes_nothing) {
    struct Row {
        const char* name;
        bool stored;  // settings exist before
        void (*close)(const Dialog& d);
    };
    const Row rows[] = {
        {"Cancel clicked", true, [](const Dialog& d) { drv::Click(d.cancel); }},
        {"Cancel clicked, nothing stored yet", false, [](const Dialog& d) { drv::Click(d.cancel); }},
        {"Enter on the focused Cancel", true,
         [](const Dialog& d) {
             // Shift+Tab twice: from the edit box to the check box, then to Cancel.
             Key(VK_TAB, true);
             Key(VK_TAB, true);
             CHECK_EQ(FocusOf(d.form), d.cancel);
             CHECK_EQ(ButtonType(d.cancel), LONG(BS_DEFPUSHBUTTON));
             Key(VK_RETURN);
         }},
        {"title-bar close (SC_CLOSE)", true,
         [](const Dialog& d) { ::PostMessageW(d.form, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"WM_CLOSE", true, [](const Dialog& d) { ::PostMessageW(d.form, WM_CLOSE, 0, 0); }},
    };
    for (const Row& r : rows) {
        drv::RegDeleteTreeCU(KeyOf("closed"));
        if (r.stored) Store("closed", "1", "C:\\before.swf");
        Dialog d = Open("closed");
        // Change both settings first, so that a write would show.
        Retype(d, L"C:\\after.swf");
        drv::Click(d.check);
        CHECK_EQ_AT(r.name, Checked(d.check), !r.stored);
        drv::Click(d.edit);
        r.close(d);
        CHECK_EQ_AT(r.name, Ended(d.process), true);
        CHECK_EQ_AT(r.name, Stored("closed", "FileName"), r.stored ? Sz(L"C:\\before.swf") : L"<missing>");
        CHECK_EQ_AT(r.name, Stored("closed", "Expansion"), r.stored ? Sz(L"1") : L"<missing>");
        if (!r.stored) CHECK_EQ_AT(r.name, drv::RegKeyExistsCU(SectionOf("closed")), false);
    }
}

TEST_CASE(enter_and_escape_do_nothing_outside_the_buttons) {
    Store("keys", "0", "C:\\x.swf");
    Dialog d = Open("keys");
    drv::Click(d.edit);
    REQUIRE(drv::WaitUntil([&] { return FocusOf(d.form) == d.edit; }, 3000));
    // With the focus away from the buttons neither of them is a default button.
    CHECK_EQ(ButtonType(d.ok), LONG(BS_PUSHBUTTON));
    CHECK_EQ(ButtonType(d.cancel), LONG(BS_PUSHBUTTON));

    struct Step {
        const char* where;
        HWND focus;
        WORD key;
    };
    const Step steps[] = {
        {"Enter in the edit box", d.edit, VK_RETURN},
        {"Escape in the edit box", d.edit, VK_ESCAPE},
        {"Enter on the check box", d.check, VK_RETURN},
        {"Escape on the check box", d.check, VK_ESCAPE},
        {"Escape on OK", d.ok, VK_ESCAPE},
        {"Escape on Cancel", d.cancel, VK_ESCAPE},
    };
    for (const Step& s : steps) {
        // Reach the control with Tab / Shift+Tab, as a user would.
        for (int i = 0; i < 4 && FocusOf(d.form) != s.focus; ++i) Key(VK_TAB);
        REQUIRE(FocusOf(d.form) == s.focus);
        Key(s.key);
        drv::Sleep(kSettle);
        CHECK_EQ_AT(s.where, StillOpen(d), true);
        CHECK_EQ_AT(s.where, FocusOf(d.form), s.focus);
        CHECK_EQ_AT(s.where, TextOf(d.edit), std::wstring(L"C:\\x.swf"));
        CHECK_EQ_AT(s.where, Checked(d.check), false);
        CHECK_EQ_AT(s.where, Stored("keys", "FileName"), Sz(L"C:\\x.swf"));
        CHECK_EQ_AT(s.where, Stored("keys", "Expansion"), Sz(L"0"));
    }
    // The keys do reach the dialog: Enter on the focused OK writes and closes.
    Retype(d, L"C:\\typed.swf");
    Key(VK_TAB);
    REQUIRE(FocusOf(d.form) == d.ok);
    Key(VK_RETURN);
    REQUIRE(Ended(d.process));
    CHECK_EQ(Stored("keys", "FileName"), Sz(L"C:\\typed.swf"));
    CHECK_EQ(Stored("keys", "Expansion"), Sz(L"0"));
}

TEST_CASE(failed_write_keeps_the_dialog_open_with_the_error_box) {
    Store("denied", "1", "C:\\old.swf");
    // The section may be read but not written (nor opened with full access,
    // so the dialog shows the defaults).
    REQUIRE(drv::SetKeyAccessCU(SectionOf("denied"), KEY_READ | DELETE | WRITE_DAC));
    Dialog d = Open("denied");
    drv::Sleep(200);
    CHECK_EQ(TextOf(d.edit), std::wstring());
    Retype(d, L"C:\\new.swf");
    drv::Click(d.ok);

    drv::Box box = drv::WaitForBox(d.process.Pid(), kTimeout);
    REQUIRE(box.hwnd != nullptr);
    CHECK_EQ(box.title, std::wstring(L"denied"));  // the application title
    CHECK(box.hasIcon);
    CHECK_EQ(box.buttons.size(), std::size_t(1));
    CHECK(!box.text.empty() && box.text.back() == L'.');
    std::printf("error box: %s\n", drv::WideToUtf8(box.text).c_str());
    drv::DismissBox(box);
    REQUIRE(drv::WaitUntil([&] { return !::IsWindow(box.hwnd); }, kTimeout));

    drv::Sleep(kSettle);
    CHECK(StillOpen(d));
    CHECK_EQ(TextOf(d.edit), std::wstring(L"C:\\new.swf"));
    REQUIRE(drv::SetKeyAccessCU(SectionOf("denied"), KEY_ALL_ACCESS));
    CHECK_EQ(Stored("denied", "FileName"), Sz(L"C:\\old.swf"));
    CHECK_EQ(Stored("denied", "Expansion"), Sz(L"1"));

    // Once the key can be written again, OK goes through.
    drv::Click(d.ok);
    REQUIRE(Ended(d.process));
    CHECK_EQ(Stored("denied", "FileName"), Sz(L"C:\\new.swf"));
    CHECK_EQ(Stored("denied", "Expansion"), Sz(L"0"));
}

TEST_CASE(file_dialog_opens_in_the_edit_texts_folder_and_fills_the_edit) {
    const std::string movies = drv::WorkDir() + "\\movies";
    const std::string other = drv::WorkDir() + "\\other";
    ::CreateDirectoryA(movies.c_str(), nullptr);
    ::CreateDirectoryA(other.c_str(), nullptr);
    Store("browse", "0", movies + "\\old.swf");  // the file need not exist
    Dialog d = Open("browse");
    drv::Click(d.edit);
    REQUIRE(drv::WaitUntil([&] { return FocusOf(d.form) == d.edit; }, 3000));

    drv::Click(d.speed);
    FileDialog f = WaitForFileDialog(d.process.Pid());
    REQUIRE(f.hwnd != nullptr);
    CHECK_EQ(TextOf(::GetDlgItem(f.hwnd, 0x470)), std::wstring(L"swf files (*.swf)"));  // file types
    HWND readOnly = ::GetDlgItem(f.hwnd, 0x410);
    CHECK(!readOnly || !::IsWindowVisible(readOnly));
    CHECK((::GetWindowLongW(f.hwnd, GWL_STYLE) & WS_THICKFRAME) != 0);  // resizable
    // A bare name lands in the folder the dialog opened in; it need not exist.
    ChooseFile(f, L"picked.swf");
    REQUIRE(drv::WaitUntil([&] { return TextOf(d.edit) == drv::Utf8ToWide(movies + "\\picked.swf"); }, kTimeout));
    // The speed button took no focus: the edit box has it back.
    CHECK(drv::WaitUntil([&] { return FocusOf(d.form) == d.edit; }, 3000));
    CHECK(StillOpen(d));

    // The next browse starts from the path confirmed last, whatever the edit
    // box says now; a name without an extension gets none.
    ::SendMessageW(d.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(drv::Utf8ToWide(other + "\\x.swf").c_str()));
    drv::Click(d.speed);
    f = WaitForFileDialog(d.process.Pid());
    REQUIRE(f.hwnd != nullptr);
    std::printf("second browse starts with '%s'\n", drv::WideToUtf8(TextOf(f.name)).c_str());
    CHECK(TextOf(f.name).find(L"picked.swf") != std::wstring::npos);
    ChooseFile(f, L"noext");
    CHECK(drv::WaitUntil([&] { return TextOf(d.edit) == drv::Utf8ToWide(movies + "\\noext"); }, kTimeout));

    // Cancelling leaves the edit text alone.
    drv::Click(d.speed);
    f = WaitForFileDialog(d.process.Pid());
    REQUIRE(f.hwnd != nullptr);
    ::PostMessageW(f.hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    REQUIRE(drv::WaitUntil([&] { return !::IsWindow(f.hwnd) || !::IsWindowVisible(f.hwnd); }, kTimeout));
    drv::Sleep(kSettle);
    CHECK_EQ(TextOf(d.edit), drv::Utf8ToWide(movies + "\\noext"));
    CHECK(StillOpen(d));

    drv::Click(d.ok);
    REQUIRE(Ended(d.process));
    CHECK_EQ(Stored("browse", "FileName"), Sz(drv::Utf8ToWide(movies + "\\noext")));
}

TEST_CASE(file_dialog_filter_is_split_at_bars_outside_double_byte_characters) {
    struct Row {
        const char* name;
        std::string filter;
        fw::LeadBytePredicate lead;
        std::string expected;
    };
    using namespace std::string_literals;
    const Row rows[] = {
        {"the dialog's filter", "swf files (*.swf)|*.SWF", fw::NoLeadBytes, "swf files (*.swf)\0*.SWF\0\0"s},
        {"two pairs", "A|*.a|B|*.b", fw::NoLeadBytes, "A\0*.a\0B\0*.b\0\0"s},
        {"empty", "", fw::NoLeadBytes, ""s},
        // 0x83 0x7C is one Shift-JIS character whose second byte is '|'.
        {"trail byte '|' under Shift-JIS", "\x83\x7C|*.x", fw::ShiftJisLeadByte, "\x83\x7C\0*.x\0\0"s},
        {"the same bytes single-byte", "\x83\x7C|*.x", fw::NoLeadBytes, "\x83\0\0*.x\0\0"s},
    };
    for (const Row& r : rows) CHECK_EQ_AT(r.name, fw::OpenDialogFilter(r.filter, r.lead), r.expected);
}
