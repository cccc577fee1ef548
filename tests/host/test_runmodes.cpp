#include "RunModes.h"
#include "check.h"

using app::ClassifyParam;

TEST_CASE(classification_table) {
    struct Row { const char* param; int mode; };  // -1: end silently
    const Row rows[] = {
        {"/A", rmPassword}, {"-A", rmPassword}, {"A", rmPassword}, {"ANYTHING", rmPassword},
        {"/P", rmPreview},  {"-P", rmPreview},  {"P", rmPreview},
        {"/C", rmConfig},   {"-C", rmConfig},   {"C", rmConfig},   {"/C:1234", rmConfig},
        {"/S", rmSaver},    {"-S", rmSaver},    {"S", rmSaver},    {"SCREEN", rmSaver}, {"SAVER", rmSaver},
        {"", rmConfig},
        {"/X", -1}, {"/", -1}, {"-", -1}, {"X", -1}, {"/?", -1}, {"//S", -1}, {" /S", -1},
        {"/s", -1},  // classification sees the upper-cased text only
    };
    for (const Row& r : rows) {
        auto m = ClassifyParam(r.param);
        CHECK_EQ_AT(r.param, m ? int(*m) : -1, r.mode);
    }
}

TEST_CASE(parameters_from_the_command_line) {
    struct Row { const char* line; int index; const char* want; };
    const Row rows[] = {
        {"\"C:\\Program Files\\swfsaver.scr\" /s 1234", 0, "C:\\Program Files\\swfsaver.scr"},
        {"\"C:\\Program Files\\swfsaver.scr\" /s 1234", 1, "/s"},
        {"\"C:\\Program Files\\swfsaver.scr\" /s 1234", 2, "1234"},
        {"\"C:\\Program Files\\swfsaver.scr\" /s 1234", 3, ""},
        {"saver.scr   /c:99\t", 1, "/c:99"},
        {"saver.scr", 1, ""},
        {"saver.scr \"\" /p", 1, "/p"},            // an empty quoted pair is skipped
        {"saver.scr a\"b c\"d e", 1, "ab cd"},     // quotes group and are removed
        {"saver.scr \"unterminated", 1, "unterminated"},
        {"saver.scr \x95\x20x", 1, "\x95\x20x"},  // a double-byte character is not split at its second byte
    };
    for (const Row& r : rows)
        CHECK_EQ_AT(r.line, app::ParamStr(r.line, r.index, fw::ShiftJisLeadByte), std::string(r.want));
}

TEST_CASE(password_library_path) {
    CHECK_EQ(app::PasswordLibraryPath("C:\\WINDOWS\\SYSTEM32"), std::string("C:\\WINDOWS\\SYSTEM32\\MPR.DLL"));
    CHECK_EQ(app::PasswordLibraryPath("C:\\"), std::string("C:\\MPR.DLL"));
    CHECK_EQ(app::PasswordLibraryPath(""), std::string("MPR.DLL"));
}

TEST_CASE(second_instance_message_is_shift_jis) {
    // "ERROR - " then 複数 ... 。 (the last character 0x81 0x42).
    std::string m = app::kSecondInstanceMessage;
    CHECK_EQ(m.substr(0, 8), std::string("ERROR - "));
    CHECK_EQ(m.size(), std::size_t(8 + 2 * 23));  // 23 double-byte characters
    CHECK_EQ(m.substr(m.size() - 2), std::string("\x81\x42"));
    CHECK_EQ(std::string(app::kSingleInstanceMutexName), std::string("Pellomar for quorinsoftware"));
}
