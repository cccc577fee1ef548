// Form definitions: the text form of a form's components and their designed
// settings, kept under resources/ and compiled into the executable. Texts are
// held as UTF-16 code units ('abc'#12354 pieces); binary data in {hex}.
//
//   object Form1: TForm1
//     Left = 505
//     Caption = #12513#12452#12531
//     BorderIcons = [biSystemMenu]
//     object Panel1: TPanel
//       ...
//     end
//   end
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fw {

class FormDefError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct PropValue {
    enum class Kind { Integer, Ident, String, Set, Binary };
    Kind kind = Kind::Integer;
    std::int64_t integer = 0;
    std::string ident;                 // Ident: True, clBlack, bsDialog ...
    std::u16string text;               // String
    std::vector<std::string> set;      // Set: [biSystemMenu, biMinimize]
    std::vector<std::uint8_t> binary;  // Binary: {0A0B...}
};

struct ObjectDef {
    std::string name;
    std::string className;
    std::vector<std::pair<std::string, PropValue>> props;
    std::vector<ObjectDef> children;

    const PropValue* Find(std::string_view prop) const;
    // Typed reads with a default for a missing property; a property of the
    // wrong kind raises FormDefError.
    std::int64_t Int(std::string_view prop, std::int64_t def) const;
    bool Bool(std::string_view prop, bool def) const;
    std::string Ident(std::string_view prop, const std::string& def) const;
    std::u16string Text(std::string_view prop, const std::u16string& def = {}) const;
    bool HasInSet(std::string_view prop, std::string_view member) const;
    const std::vector<std::uint8_t>* Binary(std::string_view prop) const;
    // Direct or nested child by name; null when absent.
    const ObjectDef* FindObject(std::string_view objName) const;
};

ObjectDef ParseFormDef(std::string_view text);

// Named colours of the form definitions as 0x00BBGGRR, system colours as
// 0x80000000 | index (resolved by the Windows side).
std::uint32_t ColorFromIdent(std::string_view ident);

}  // namespace fw
