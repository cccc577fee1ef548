// String and file-name routines on 8-bit ANSI text. Pure functions: the code
// page enters only through the lead-byte predicate, so the same rules are
// tested on the host and used on Windows with IsDBCSLeadByte.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fw {

// True when the byte starts a double-byte character in the active code page.
using LeadBytePredicate = bool (*)(unsigned char);

// Single-byte code pages: no byte is a lead byte.
bool NoLeadBytes(unsigned char);
// Shift-JIS (code page 932) lead bytes, for host tests of the double-byte rules.
bool ShiftJisLeadByte(unsigned char b);

// Upper-cases the bytes a-z only, also where such a byte trails a lead byte.
std::string UpperCaseAscii(std::string text);

// Index of the last byte of `text` that is one of `delims` and is not the
// second byte of a double-byte character; npos when there is none.
std::size_t LastDelimiter(std::string_view text, std::string_view delims, LeadBytePredicate isLead);

// The text after the last backslash or colon.
std::string ExtractFileName(std::string_view path, LeadBytePredicate isLead);
// Everything up to and including the last backslash or colon ("" when none).
std::string ExtractFilePath(std::string_view path, LeadBytePredicate isLead);
// The name with its last extension (from the last dot of the file-name part on) removed.
std::string RemoveLastExtension(std::string_view path, LeadBytePredicate isLead);

// Integer text: leading spaces, one optional sign, then "$", "x", "X", "0x" or
// "0X" with 1+ hex digits (at most FFFFFFFF), or 1+ decimal digits in the signed
// 32-bit range; nothing may follow. Anything else is not an integer.
std::optional<std::int32_t> TryStrToInt(std::string_view text);
// Integer text, or `fallback` when the text is not an integer.
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);

// The application title from the executable's path: the file name cut at its
// first dot, every character after the first lowered with `lower` (which
// lower-cases an ANSI string in place).
std::string ApplicationTitle(std::string_view exePath, LeadBytePredicate isLead,
                             void (*lower)(std::string&));
// ASCII-only lowering, the host stand-in for the system's ANSI lower-casing.
void LowerAscii(std::string& text);

}  // namespace fw

namespace fw {
// The standard error box's text: a full stop is appended when the last
// character sorts after the full stop (its first byte compared unsigned).
std::string ErrorBoxText(std::string_view message, LeadBytePredicate isLead);
}  // namespace fw
