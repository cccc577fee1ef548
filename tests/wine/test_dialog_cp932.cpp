// The settings dialog under code page 932 with a Japanese Gothic font: its
// Japanese texts read back as UTF-16, show as glyphs on the screen (kept as a
// screenshot), and Shift-JIS paths go through the edit box, the file-open
// dialog and the registry unchanged.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "check.h"
#include "driver.h"

namespace {

const DWORD kTimeout = 15000;
const std::wstring kCaption = L"設定";
const std::wstring kFileLabel = L"SWFファイル";
const std::wstring kExpansion = L"画面サイズにあわせる";

std::string Sjis(const std::wstring& w) {
    int n = ::WideCharToMultiByte(932, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(std::size_t(n), '\0');
    ::WideCharToMultiByte(932, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring TextOf(HWND w) {
    LRESULT n = ::SendMessageW(w, WM_GETTEXTLENGTH, 0, 0);
    std::wstring s(std::size_t(n) + 1, L'\0');
    n = ::SendMessageW(w, WM_GETTEXT, WPARAM(s.size()), reinterpret_cast<LPARAM>(s.data()));
    s.resize(std::size_t(n > 0 ? n : 0));
    return s;
}

HWND Child(HWND form, const char* cls, const std::wstring* text) {
    for (HWND c = ::GetWindow(form, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if (drv::ClassName(c) == cls && (!text || TextOf(c) == *text)) return c;
    return nullptr;
}

std::wstring StoredFileName(const std::string& section) {
    HKEY k = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, section.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return L"<missing>";
    DWORD type = 0, size = 0;
    std::wstring data = L"<missing>";
    if (::RegQueryValueExW(k, L"FileName", nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        data.assign((size + 1) / 2, L'\0');
        ::RegQueryValueExW(k, L"FileName", nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        data.resize(size / 2);
    }
    ::RegCloseKey(k);
    return data;
}


// The font the dialog asks for.
HFONT DialogFont() {
    LOGFONTW lf{};
    lf.lfHeight = -12;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    lstrcpynW(lf.lfFaceName, L"ＭＳ Ｐゴシック", LF_FACESIZE);
    return ::CreateFontIndirectW(&lf);
}

// ---- pixels ---------------------------------------------------------------------

// Pixels that differ clearly from the face colour: the ink of the text.
struct Ink {
    int w = 0, h = 0;
    std::vector<bool> on;
    bool At(int x, int y) const { return on[std::size_t(y) * w + x]; }
};

bool Inky(std::uint32_t px, std::uint32_t face) {
    int d = 0;
    for (int shift : {0, 8, 16}) d += std::abs(int((px >> shift) & 0xFF) - int((face >> shift) & 0xFF));
    return d > 150;
}

// 0x00RRGGBB of a COLORREF.
std::uint32_t Rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

Ink InkOnScreen(const drv::Screenshot& shot, const RECT& r) {
    Ink ink;
    ink.w = r.right - r.left;
    ink.h = r.bottom - r.top;
    const std::uint32_t face = Rgb(::GetSysColor(COLOR_BTNFACE));
    for (int y = 0; y < ink.h; ++y)
        for (int x = 0; x < ink.w; ++x) ink.on.push_back(Inky(shot.At(r.left + x, r.top + y), face));
    return ink;
}

// `text` drawn by this process in the dialog's font at (dx, dy) of a w x h face.
Ink InkRendered(const std::wstring& text, int w, int h, int dx, int dy) {
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBmp = ::SelectObject(dc, bmp);
    HFONT font = DialogFont();
    HGDIOBJ oldFont = ::SelectObject(dc, font);
    RECT all{0, 0, w, h};
    HBRUSH face = ::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE));
    ::FillRect(dc, &all, face);
    ::DeleteObject(face);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    RECT at{dx, dy, w, h};
    ::DrawTextW(dc, text.c_str(), int(text.size()), &at, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    ::GdiFlush();
    Ink ink;
    ink.w = w;
    ink.h = h;
    const std::uint32_t faceRgb = Rgb(::GetSysColor(COLOR_BTNFACE));
    const auto* px = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; i < w * h; ++i) ink.on.push_back(Inky(px[i] & 0x00FFFFFF, faceRgb));
    ::SelectObject(dc, oldFont);
    ::DeleteObject(font);
    ::SelectObject(dc, oldBmp);
    ::DeleteObject(bmp);
    ::DeleteDC(dc);
    return ink;
}

struct Match {
    double score = 0;  // shared ink / all ink, at the best placement
    int screenInk = 0;
};

// How well the control's ink (columns from `fromX` on) matches `text` drawn
// here in the same font, placed anywhere within the given offsets.
Match MatchText(const drv::Screenshot& shot, HWND control, const std::wstring& text, int fromX, int dx0, int dx1,
                int dy0, int dy1) {
    const Ink screen = InkOnScreen(shot, drv::WindowRectOf(control));
    Match best;
    for (int y = 0; y < screen.h; ++y)
        for (int x = fromX; x < screen.w; ++x) best.screenInk += screen.At(x, y);
    for (int dy = dy0; dy <= dy1; ++dy) {
        for (int dx = dx0; dx <= dx1; ++dx) {
            const Ink ref = InkRendered(text, screen.w, screen.h, dx, dy);
            int both = 0, any = 0;
            for (int y = 0; y < screen.h; ++y)
                for (int x = fromX; x < screen.w; ++x) {
                    both += screen.At(x, y) && ref.At(x, y);
                    any += screen.At(x, y) || ref.At(x, y);
                }
            if (any) best.score = std::max(best.score, double(both) / any);
        }
    }
    return best;
}

drv::Screenshot Crop(const drv::Screenshot& s, RECT r) {
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, s.width);
    r.bottom = std::min<LONG>(r.bottom, s.height);
    drv::Screenshot c;
    c.width = r.right - r.left;
    c.height = r.bottom - r.top;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) c.pixels.push_back(s.At(x, y));
    return c;
}

}  // namespace

TEST_CASE(mapped_font_has_the_dialogs_japanese_glyphs) {
    HDC dc = ::CreateCompatibleDC(nullptr);
    HFONT font = DialogFont();
    HGDIOBJ old = ::SelectObject(dc, font);
    // The family actually used (the face name reads back as asked for).
    std::vector<char> otm(::GetOutlineTextMetricsW(dc, 0, nullptr));
    REQUIRE(!otm.empty());
    auto* metrics = reinterpret_cast<OUTLINETEXTMETRICW*>(otm.data());
    ::GetOutlineTextMetricsW(dc, UINT(otm.size()), metrics);
    const std::wstring family(reinterpret_cast<const wchar_t*>(otm.data() + std::size_t(metrics->otmpFamilyName)));
    // Wine reports a replaced font under the name asked for; the font file's
    // own name table tells which one it is.
    std::string names(::GetFontData(dc, 0x656D616E /* 'name' */, 0, nullptr, 0), '\0');
    if (!names.empty() && names.size() != std::size_t(GDI_ERROR))
        ::GetFontData(dc, 0x656D616E, 0, names.data(), DWORD(names.size()));
    const bool ipa = names.find(std::string("\0I\0P\0A", 6)) != std::string::npos;
    std::printf("the dialog's font is drawn with '%s'%s\n", drv::WideToUtf8(family).c_str(),
                ipa ? " (an IPA font file)" : "");
    const std::wstring all = kCaption + kFileLabel + kExpansion;
    std::vector<WORD> glyphs(all.size());
    CHECK_EQ(::GetGlyphIndicesW(dc, all.c_str(), int(all.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS),
             DWORD(all.size()));
    for (std::size_t i = 0; i < all.size(); ++i)
        CHECK_EQ_AT(drv::WideToUtf8(all.substr(i, 1)), glyphs[i] != 0xFFFF, true);
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    CHECK_EQ(int(tm.tmCharSet), int(SHIFTJIS_CHARSET));
    ::SelectObject(dc, old);
    ::DeleteObject(font);
    ::DeleteDC(dc);
}

TEST_CASE(japanese_texts_show_and_shift_jis_paths_round_trip) {
    CHECK_EQ(::GetACP(), UINT(932));
    const std::string base = "japanese";
    const std::string section = "Software\\qrnsoftware\\" + base + "\\OPTION";
    const std::wstring folder = drv::Utf8ToWide(drv::WorkDir()) + L"\\動画";
    REQUIRE(::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    // 表 is 0x95 0x5C in Shift-JIS: its second byte is a backslash, which must
    // not be taken for the end of the folder part.
    const std::wstring stored = folder + L"\\表.swf";
    drv::RegDeleteTreeCU("Software\\qrnsoftware\\" + base);
    const std::string bytes = Sjis(stored);
    REQUIRE(bytes.find("\x95\x5C") != std::string::npos);
    REQUIRE(drv::RegSetCU(section, "FileName", REG_SZ, bytes.c_str(), DWORD(bytes.size() + 1)));
    REQUIRE(drv::RegSetStringCU(section, "Expansion", "1"));

    const std::string exe = drv::CopyTo(drv::SaverExe(), drv::WorkDir(), base + ".scr");
    REQUIRE(!exe.empty());
    // A start refused by Wine on a busy machine (error 1359) is retried.
    drv::Process p;
    for (int attempt = 0; attempt < 3 && !p.Pid(); ++attempt) {
        if (attempt) drv::Sleep(1000);
        p = drv::Process::Start(exe, "/c");
    }
    HWND form = drv::WaitForWindow(p.Pid(), "TForm3", kTimeout);
    REQUIRE(form != nullptr);
    CHECK_EQ(drv::TextW(form), kCaption);
    HWND label2 = Child(form, "Static", &kFileLabel);
    HWND check = Child(form, "Button", &kExpansion);
    HWND edit = Child(form, "Edit", nullptr);
    HWND speed = Child(form, "TSpeedButton", nullptr);
    const std::wstring okText = L"OK";
    HWND ok = Child(form, "Button", &okText);
    REQUIRE(label2 && check && edit && speed && ok);
    CHECK_EQ(TextOf(edit), stored);
    CHECK_EQ(::SendMessageW(check, BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));

    // The screenshot, kept as the test's artifact.
    drv::Sleep(500);
    const drv::Screenshot shot = drv::CaptureScreen();
    RECT around = drv::WindowRectOf(form);
    InflateRect(&around, 8, 8);
    const std::string artifact = drv::WorkDir() + "\\dialog_cp932.bmp";
    CHECK(drv::SaveBmp(Crop(shot, around), artifact));
    std::printf("screenshot of the dialog: %s\n", artifact.c_str());

    // The label and the check box caption carry the glyphs this process draws
    // for the same texts in the same font, not boxes, question marks or nothing.
    // (The check box's own square is left out of the comparison.)
    const Match label = MatchText(shot, label2, kFileLabel, 0, -2, 2, -2, 2);
    const Match box = MatchText(shot, check, kExpansion, 16, 10, 24, -3, 8);
    std::printf("label ink %d, match %.2f; check box ink %d, match %.2f\n", label.screenInk, label.score,
                box.screenInk, box.score);
    CHECK(label.screenInk > 30);
    CHECK(box.screenInk > 60);
    CHECK(label.score > 0.9);
    CHECK(box.score > 0.9);
    // The comparison tells texts apart: other characters in the same place do not match.
    CHECK(MatchText(shot, label2, L"SWF□□□□", 0, -2, 2, -2, 2).score < 0.6);
    CHECK(MatchText(shot, check, L"画面????????", 16, 10, 24, -3, 8).score < 0.6);

    // The file-open dialog opens in 動画 (the folder part, by the double-byte
    // rule) and a Japanese name chosen there comes back whole.
    drv::Click(speed);
    HWND dlg = nullptr, name = nullptr;
    drv::WaitUntil(
        [&] {
            for (HWND w : drv::TopWindows(p.Pid())) {
                if (drv::ClassName(w) != "#32770" || !::IsWindowVisible(w)) continue;
                for (HWND c : drv::Descendants(w)) {
                    const int id = ::GetDlgCtrlID(c);
                    if (drv::ClassName(c) == "Edit" && (id == 0x480 || id == 0x47C)) {
                        dlg = w;
                        name = c;
                        return true;
                    }
                }
            }
            return false;
        },
        kTimeout);
    REQUIRE(dlg != nullptr);
    const std::wstring chosen = L"選択.swf";
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(chosen.c_str()));
    ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    CHECK(drv::WaitUntil([&] { return TextOf(edit) == folder + L"\\" + chosen; }, kTimeout));

    drv::Click(ok);
    REQUIRE(p.Wait(kTimeout));
    CHECK_EQ(StoredFileName(section), folder + L"\\" + chosen + L'\0');
    std::string back;
    DWORD type = 0;
    REQUIRE(drv::RegGetCU(section, "FileName", &type, &back));
    CHECK_EQ(back, Sjis(folder + L"\\" + chosen) + '\0');
}
