#include "StrUtils.h"
#include "check.h"

using fw::TryStrToInt;

TEST_CASE(integer_text_table) {
    struct Row { const char* text; bool ok; std::int32_t value; };
    const Row rows[] = {
        {"0", true, 0},          {"1234", true, 1234},      {"007", true, 7},
        {" 1", true, 1},         {"   -5", true, -5},       {"+12", true, 12},
        {"2147483647", true, 2147483647},                   {"2147483648", false, 0},
        {"-2147483648", true, INT32_MIN},                   {"-2147483649", false, 0},
        {"$1", true, 1},         {"$ff", true, 255},        {"xFF", true, 255},
        {"X10", true, 16},       {"0x0", true, 0},          {"0X7fffffff", true, 0x7fffffff},
        {"$FFFFFFFF", true, -1}, {"$100000000", false, 0},  {"-$1", true, -1},
        {"+0x10", true, 16},     {"-$80000000", true, INT32_MIN},
        {"", false, 0},          {" ", false, 0},           {"-", false, 0},
        {"$", false, 0},         {"0x", false, 0},          {"x", false, 0},
        {"1 ", false, 0},        {"yes", false, 0},         {"12a", false, 0},
        {"- 1", false, 0},       {"+-1", false, 0},         {"\t1", false, 0},
        {"1.0", false, 0},       {"$g", false, 0},          {"00x1", false, 0},
    };
    for (const Row& r : rows) {
        auto v = TryStrToInt(r.text);
        CHECK_EQ_AT(r.text, v.has_value(), r.ok);
        if (v && r.ok) CHECK_EQ_AT(r.text, *v, r.value);
    }
    CHECK_EQ(fw::StrToIntDef("nope", 0), 0);
    CHECK_EQ(fw::StrToIntDef("0x4D2", 0), 1234);
}

TEST_CASE(upper_case_changes_ascii_letters_only) {
    CHECK_EQ(fw::UpperCaseAscii("/c:1234"), std::string("/C:1234"));
    CHECK_EQ(fw::UpperCaseAscii("screen"), std::string("SCREEN"));
    // A Shift-JIS trail byte in a..z is upper-cased too (byte by byte rule);
    // bytes outside a..z, including 0x80 and up, stay.
    CHECK_EQ(fw::UpperCaseAscii("\x83\x61\xE9z"), std::string("\x83\x41\xE9Z"));
}

TEST_CASE(file_name_parts_with_double_byte_rule) {
    // 0x95 0x5C is one Shift-JIS character whose second byte is a backslash.
    const std::string dbcs = "C:\\dir\\\x95\x5C.scr";
    CHECK_EQ(fw::ExtractFileName(dbcs, fw::ShiftJisLeadByte), std::string("\x95\x5C.scr"));
    CHECK_EQ(fw::ExtractFileName(dbcs, fw::NoLeadBytes), std::string(".scr"));
    CHECK_EQ(fw::ExtractFilePath(dbcs, fw::ShiftJisLeadByte), std::string("C:\\dir\\"));
    CHECK_EQ(fw::ExtractFilePath("movie.swf", fw::NoLeadBytes), std::string());
    CHECK_EQ(fw::ExtractFilePath("D:movie.swf", fw::NoLeadBytes), std::string("D:"));
    CHECK_EQ(fw::RemoveLastExtension("a.b.scr", fw::NoLeadBytes), std::string("a.b"));
    CHECK_EQ(fw::RemoveLastExtension("noext", fw::NoLeadBytes), std::string("noext"));
    CHECK_EQ(fw::RemoveLastExtension("dir.x\\noext", fw::NoLeadBytes), std::string("dir.x\\noext"));
    CHECK_EQ(fw::RemoveLastExtension("Flash Saver.SCR", fw::NoLeadBytes), std::string("Flash Saver"));
}

TEST_CASE(application_title_rule) {
    struct Row { const char* path; const char* title; };
    const Row rows[] = {
        {"C:\\WINDOWS\\SYSTEM\\SWFSAVER.SCR", "Swfsaver"},
        {"Z:\\build\\my.saver.scr", "my"},
        {"C:\\x\\Flash Saver.SCR", "Flash saver"},
        {"noext", "noext"},
        {".hidden", ""},
    };
    for (const Row& r : rows)
        CHECK_EQ_AT(r.path, fw::ApplicationTitle(r.path, fw::NoLeadBytes, fw::LowerAscii), std::string(r.title));
}

TEST_CASE(error_box_text_full_stop_rule) {
    struct Row { const char* in; const char* out; };
    const Row rows[] = {
        {"File not found", "File not found."},
        {"Done.", "Done."},
        {"Really?", "Really?."},      // '?' sorts after '.'
        {"(x)", "(x)"},               // ')' sorts before '.'
        {"a-", "a-"},                 // '-' sorts before '.'
        {"path/", "path/."},
        {"", ""},
        {"\x83\x41", "\x83\x41."},    // a double-byte last character
    };
    for (const Row& r : rows) CHECK_EQ_AT(r.in, fw::ErrorBoxText(r.in, fw::ShiftJisLeadByte), std::string(r.out));
}
