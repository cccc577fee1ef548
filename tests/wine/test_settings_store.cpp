// The settings store against Wine's registry. The store names its key after
// the running executable, so the name-dependent cases run copies of this very
// program under other names: started with "--options-child", a copy does one
// store operation and writes what it saw to a file, before main runs.
#include <windows.h>
#include <aclapi.h>

#include <cstdio>
#include <string>

#include "Error.h"
#include "Options.h"
#include "check.h"
#include "driver.h"

namespace {

// Child side: "<exe>" --options-child read|write "<result file>".
// The result file holds the key, then Expansion as 0/1, then FileName, one a
// line; or "error: <message>".
const int kChildDone = [] {
    const std::string line = ::GetCommandLineA();
    const std::string flag = "--options-child ";
    std::size_t at = line.find(flag);
    if (at == std::string::npos) return 0;
    std::string rest = line.substr(at + flag.size());
    const bool write = rest.rfind("write ", 0) == 0;
    std::size_t q1 = rest.find('"'), q2 = rest.rfind('"');
    std::string resultFile = rest.substr(q1 + 1, q2 - q1 - 1);
    std::string out;
    try {
        if (write) WriteOptions(true, "C:\\movies\\from the copy.swf");
        Options o = ReadOptions();
        out = OptionsKey() + "\n" + (o.Expansion ? "1" : "0") + "\n" + o.FileName;
    } catch (const std::exception& e) {
        out = std::string("error: ") + e.what();
    }
    drv::WriteFile(resultFile, out);
    ::ExitProcess(0);
}();

std::string SelfPath() {
    char buf[MAX_PATH * 2];
    DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
    return std::string(buf, n);
}

// Runs a copy of this program named `name` and returns what it wrote.
std::string RunCopy(const std::string& name, const char* action) {
    const std::string dir = drv::WorkDir() + "\\copies";
    const std::string exe = drv::CopyTo(SelfPath(), dir, name);
    REQUIRE(!exe.empty());
    const std::string result = dir + "\\result.txt";
    ::DeleteFileA(result.c_str());
    drv::Process p = drv::Process::Start(exe, std::string("--options-child ") + action + " \"" + result + "\"");
    REQUIRE(p.Wait(60000));
    CHECK_EQ(p.ExitCode(), DWORD(0));
    return drv::ReadFile(result);
}

const std::string kPrefix = "Software\\qrnsoftware\\";

void DeleteKey(const std::string& path) {
    drv::RegDeleteTreeCU(path);
    REQUIRE(!drv::RegKeyExistsCU(path));
}

// Counts of subkeys and values; false when the key does not open.
bool KeyCounts(const std::string& path, DWORD* subkeys, DWORD* values) {
    HKEY k = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    LONG rc = ::RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, subkeys, nullptr, nullptr, values, nullptr, nullptr,
                                 nullptr, nullptr);
    ::RegCloseKey(k);
    return rc == ERROR_SUCCESS;
}


// A value's data exactly as stored: the registry keeps strings as UTF-16, and
// the ANSI query would add a NUL that is not there. "<missing>" when absent.
std::wstring StoredData(const std::string& path, const char* name, DWORD* type) {
    HKEY k = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, drv::Utf8ToWide(path).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return L"<missing>";
    const std::wstring wname = drv::Utf8ToWide(name);
    DWORD size = 0;
    std::wstring data;
    LONG rc = ::RegQueryValueExW(k, wname.c_str(), nullptr, type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        data.resize((size + 1) / 2);
        rc = ::RegQueryValueExW(k, wname.c_str(), nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size);
        data.resize(size / 2);
    }
    ::RegCloseKey(k);
    return rc == ERROR_SUCCESS ? data : L"<missing>";
}

}  // namespace

TEST_CASE(key_is_named_after_this_program) {
    CHECK_EQ(OptionsKey(), kPrefix + "wine_test_settings_store");
}

TEST_CASE(first_run_creates_the_empty_key_and_reads_defaults) {
    const std::string key = OptionsKey();
    DeleteKey(key);
    Options o = ReadOptions();
    CHECK_EQ(o.Expansion, false);
    CHECK_EQ(o.FileName, std::string());
    DWORD subkeys = 99, values = 99;
    REQUIRE(KeyCounts(key, &subkeys, &values));
    CHECK_EQ(subkeys, DWORD(0));
    CHECK_EQ(values, DWORD(0));
}

TEST_CASE(stored_values_read_by_type_and_text) {
    struct Row {
        const char* name;
        const char* value;  // "Expansion" or "FileName"
        DWORD type;
        std::string data;
        bool expansion;
        const char* fileName;
        bool raises;
    };
    using S = std::string;
    const Row rows[] = {
        {"text 2", "Expansion", REG_SZ, S("2", 2), true, "", false},
        {"text space 1", "Expansion", REG_SZ, S(" 1", 3), true, "", false},
        {"text $1", "Expansion", REG_SZ, S("$1", 3), true, "", false},
        {"text -1", "Expansion", REG_SZ, S("-1", 3), true, "", false},
        {"text 1 space", "Expansion", REG_SZ, S("1 ", 3), false, "", false},
        {"text yes", "Expansion", REG_SZ, S("yes", 4), false, "", false},
        {"text 0x0", "Expansion", REG_SZ, S("0x0", 4), false, "", false},
        {"text 0", "Expansion", REG_SZ, S("0", 2), false, "", false},
        {"empty text", "Expansion", REG_SZ, S("", 1), false, "", false},
        {"text ends at the first NUL", "Expansion", REG_SZ, S("1\0x", 4), true, "", false},
        {"expandable text 1", "Expansion", REG_EXPAND_SZ, S("1", 2), true, "", false},
        {"number", "Expansion", REG_DWORD, S("\1\0\0\0", 4), false, "", true},
        {"empty binary", "Expansion", REG_BINARY, S(), false, "", false},
        {"empty number", "Expansion", REG_DWORD, S(), false, "", false},
        {"path", "FileName", REG_SZ, S("C:\\movies\\a b.swf", 18), false, "C:\\movies\\a b.swf", false},
        {"expandable path taken literally", "FileName", REG_EXPAND_SZ, S("%SystemRoot%\\x.swf", 19), false,
         "%SystemRoot%\\x.swf", false},
        {"path ends at the first NUL", "FileName", REG_SZ, S("C:\\m.swf\0junk", 14), false, "C:\\m.swf", false},
        {"binary path", "FileName", REG_BINARY, S("C:\\m.swf", 8), false, "", true},
        {"list of texts", "FileName", REG_MULTI_SZ, S("a\0b\0\0", 5), false, "", true},
        {"empty binary path", "FileName", REG_BINARY, S(), false, "", false},
    };
    const std::string key = OptionsKey();
    for (const Row& r : rows) {
        DeleteKey(key);
        REQUIRE(drv::RegSetCU(key + "\\OPTION", r.value, r.type, r.data.data(), DWORD(r.data.size())));
        try {
            Options o = ReadOptions();
            CHECK_EQ_AT(r.name, false, r.raises);
            CHECK_EQ_AT(r.name, o.Expansion, r.expansion);
            CHECK_EQ_AT(r.name, o.FileName, std::string(r.fileName));
        } catch (const fw::Error& e) {
            CHECK_EQ_AT(r.name, true, r.raises);
            // The message names the value at fault.
            CHECK_EQ_AT(r.name, std::string(e.what()).find(r.value) != std::string::npos, true);
        }
    }
}

TEST_CASE(missing_section_or_values_read_as_defaults) {
    const std::string key = OptionsKey();
    DeleteKey(key);
    REQUIRE(drv::RegSetStringCU(key, "Expansion", "1"));  // beside the section, not in it
    Options o = ReadOptions();
    CHECK_EQ(o.Expansion, false);
    CHECK_EQ(o.FileName, std::string());

    DeleteKey(key);
    REQUIRE(drv::RegSetStringCU(key + "\\OPTION", "Other", "1"));
    o = ReadOptions();
    CHECK_EQ(o.Expansion, false);
    CHECK_EQ(o.FileName, std::string());
}

TEST_CASE(writes_strings_with_the_terminating_nul_counted) {
    const std::string key = OptionsKey();
    const std::string section = key + "\\OPTION";
    DeleteKey(key);
    WriteOptions(true, "C:\\movies\\a b.swf");
    DWORD type = REG_NONE;
    CHECK_EQ(StoredData(section, "Expansion", &type), std::wstring(L"1\0", 2));
    CHECK_EQ(type, DWORD(REG_SZ));
    CHECK_EQ(StoredData(section, "FileName", &type), std::wstring(L"C:\\movies\\a b.swf\0", 18));
    CHECK_EQ(type, DWORD(REG_SZ));
    Options o = ReadOptions();
    CHECK_EQ(o.Expansion, true);
    CHECK_EQ(o.FileName, std::string("C:\\movies\\a b.swf"));

    // Over values of other types, and an empty path: one NUL. (The system adds
    // the NUL that the size of a non-empty ANSI string leaves out, so only the
    // empty string shows whether the writer counts it.)
    REQUIRE(drv::RegSetCU(section, "Expansion", REG_DWORD, "\1\0\0\0", 4));
    WriteOptions(false, "");
    CHECK_EQ(StoredData(section, "Expansion", &type), std::wstring(L"0\0", 2));
    CHECK_EQ(type, DWORD(REG_SZ));
    CHECK_EQ(StoredData(section, "FileName", &type), std::wstring(L"\0", 1));
    o = ReadOptions();
    CHECK_EQ(o.Expansion, false);
    CHECK_EQ(o.FileName, std::string());
}

TEST_CASE(failed_write_leaves_what_was_stored) {
    const std::string key = OptionsKey();
    const std::string section = key + "\\OPTION";
    DeleteKey(key);
    WriteOptions(true, "C:\\old.swf");
    // The section may be read, but neither written nor opened with full access.
    REQUIRE(drv::SetKeyAccessCU(section, KEY_READ | DELETE | WRITE_DAC));
    bool raised = false;
    try {
        WriteOptions(false, "C:\\new.swf");
    } catch (const fw::Error& e) {
        raised = true;
        CHECK(std::string(e.what()).find("OPTION") != std::string::npos);
    }
    CHECK(raised);
    DWORD type = REG_NONE;
    CHECK_EQ(StoredData(section, "Expansion", &type), std::wstring(L"1\0", 2));
    CHECK_EQ(StoredData(section, "FileName", &type), std::wstring(L"C:\\old.swf\0", 11));
    // A section that does not open with full access reads as the defaults, without an error.
    Options o = ReadOptions();
    CHECK_EQ(o.Expansion, false);
    CHECK_EQ(o.FileName, std::string());

    REQUIRE(drv::SetKeyAccessCU(section, KEY_ALL_ACCESS));
    o = ReadOptions();
    CHECK_EQ(o.Expansion, true);
    CHECK_EQ(o.FileName, std::string("C:\\old.swf"));
}

TEST_CASE(copies_under_other_names_use_their_own_keys) {
    struct Row { const char* exe; const char* base; };
    const Row rows[] = {
        {"a.b.scr", "a.b"},
        {"Flash Saver.SCR", "Flash Saver"},
        {"renamed.exe", "renamed"},
    };
    // This program's own settings must not show through in the copies.
    WriteOptions(true, "C:\\movies\\own.swf");
    for (const Row& r : rows) {
        const std::string key = kPrefix + r.base;
        DeleteKey(key);
        CHECK_EQ_AT(r.exe, RunCopy(r.exe, "read"), key + "\n0\n");
        DWORD subkeys = 99, values = 99;
        CHECK_EQ_AT(r.exe, KeyCounts(key, &subkeys, &values), true);
        CHECK_EQ_AT(r.exe, subkeys + values, DWORD(0));
    }
    // A copy writes into its own key and leaves this program's alone.
    CHECK_EQ(RunCopy("a.b.scr", "write"), kPrefix + "a.b\n1\nC:\\movies\\from the copy.swf");
    DWORD type = REG_NONE;
    CHECK_EQ(StoredData(kPrefix + "a.b\\OPTION", "FileName", &type),
             std::wstring(L"C:\\movies\\from the copy.swf\0", 28));
    Options own = ReadOptions();
    CHECK_EQ(own.Expansion, true);
    CHECK_EQ(own.FileName, std::string("C:\\movies\\own.swf"));
}
