#include "OptionsKeyName.h"
#include "check.h"

TEST_CASE(key_is_named_after_the_executable_without_its_last_extension) {
    struct Row { const char* exe; fw::LeadBytePredicate lead; const char* key; };
    const Row rows[] = {
        {"C:\\WINDOWS\\SYSTEM\\Flash Saver.SCR", fw::NoLeadBytes, "Software\\qrnsoftware\\Flash Saver"},
        {"C:\\savers\\a.b.scr", fw::NoLeadBytes, "Software\\qrnsoftware\\a.b"},
        {"C:\\savers\\plain", fw::NoLeadBytes, "Software\\qrnsoftware\\plain"},
        // A dot in a folder name is not an extension of the file name.
        {"C:\\my.savers\\plain", fw::NoLeadBytes, "Software\\qrnsoftware\\plain"},
        {"D:movie.scr", fw::NoLeadBytes, "Software\\qrnsoftware\\movie"},
        {"swfsaver.scr", fw::NoLeadBytes, "Software\\qrnsoftware\\swfsaver"},
        // Shift-JIS: "\x83\x5C" (so) and "\x95\x5C" (hyou) end in a backslash byte
        // that belongs to the character, in the folder and in the name.
        {"C:\\\x83\x5C\x83\x74\x83\x67\\\x95\x5C\x8E\xA6.scr", fw::ShiftJisLeadByte,
         "Software\\qrnsoftware\\\x95\x5C\x8E\xA6"},
        {"C:\\\x83\x5C\\a\x95\x5C.b.scr", fw::ShiftJisLeadByte, "Software\\qrnsoftware\\a\x95\x5C.b"},
        // The same bytes in a single-byte code page split at 0x5C.
        {"C:\\\x83\x5C\x83\x74\x83\x67\\\x95\x5C\x8E\xA6.scr", fw::NoLeadBytes, "Software\\qrnsoftware\\\x8E\xA6"},
    };
    for (const Row& r : rows) CHECK_EQ_AT(r.exe, OptionsKey(r.exe, r.lead), std::string(r.key));
}
