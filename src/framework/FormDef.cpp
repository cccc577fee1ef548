#include "FormDef.h"

#include <cctype>

namespace fw {

namespace {

class Parser {
public:
    explicit Parser(std::string_view t) : t_(t) {}

    ObjectDef ParseRoot() {
        ObjectDef root = ParseObject();
        SkipSpace();
        if (pos_ < t_.size()) Fail("text after the last end");
        return root;
    }

private:
    std::string_view t_;
    std::size_t pos_ = 0;
    int line_ = 1;
    int depth_ = 0;

    [[noreturn]] void Fail(const std::string& what) {
        throw FormDefError("form definition, line " + std::to_string(line_) + ": " + what);
    }

    void SkipSpace() {
        while (pos_ < t_.size()) {
            char c = t_[pos_];
            if (c == '\n') ++line_;
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') ++pos_;
            else break;
        }
    }

    bool AtIdentStart() const {
        return pos_ < t_.size() && (std::isalpha(static_cast<unsigned char>(t_[pos_])) || t_[pos_] == '_');
    }

    std::string Ident() {
        SkipSpace();
        if (!AtIdentStart()) Fail("name expected");
        std::size_t start = pos_;
        while (pos_ < t_.size() && (std::isalnum(static_cast<unsigned char>(t_[pos_])) || t_[pos_] == '_' || t_[pos_] == '.'))
            ++pos_;
        return std::string(t_.substr(start, pos_ - start));
    }

    void Expect(char c) {
        SkipSpace();
        if (pos_ >= t_.size() || t_[pos_] != c) Fail(std::string("'") + c + "' expected");
        ++pos_;
    }

    ObjectDef ParseObject() {
        if (++depth_ > 32) Fail("objects nested too deeply");
        if (Ident() != "object") Fail("'object' expected");
        ObjectDef obj;
        obj.name = Ident();
        Expect(':');
        obj.className = Ident();
        for (;;) {
            SkipSpace();
            if (pos_ >= t_.size()) Fail("'end' expected");
            std::size_t save = pos_;
            int saveLine = line_;
            std::string word = Ident();
            if (word == "end") break;
            if (word == "object") {
                pos_ = save;
                line_ = saveLine;
                obj.children.push_back(ParseObject());
                continue;
            }
            Expect('=');
            obj.props.emplace_back(word, ParseValue());
        }
        --depth_;
        return obj;
    }

    PropValue ParseValue() {
        SkipSpace();
        if (pos_ >= t_.size()) Fail("value expected");
        char c = t_[pos_];
        PropValue v;
        if (c == '-' || c == '+' || std::isdigit(static_cast<unsigned char>(c))) {
            v.kind = PropValue::Kind::Integer;
            bool neg = c == '-';
            if (c == '-' || c == '+') ++pos_;
            if (pos_ >= t_.size() || !std::isdigit(static_cast<unsigned char>(t_[pos_]))) Fail("digits expected");
            std::int64_t n = 0;
            while (pos_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[pos_]))) {
                n = n * 10 + (t_[pos_++] - '0');
                if (n > 0xFFFFFFFFll) Fail("number too large");
            }
            v.integer = neg ? -n : n;
        } else if (c == '\'' || c == '#') {
            v.kind = PropValue::Kind::String;
            v.text = ParseString();
        } else if (c == '[') {
            v.kind = PropValue::Kind::Set;
            ++pos_;
            SkipSpace();
            if (pos_ < t_.size() && t_[pos_] == ']') {
                ++pos_;
            } else {
                for (;;) {
                    v.set.push_back(Ident());
                    SkipSpace();
                    if (pos_ < t_.size() && t_[pos_] == ',') { ++pos_; continue; }
                    Expect(']');
                    break;
                }
            }
        } else if (c == '{') {
            v.kind = PropValue::Kind::Binary;
            ++pos_;
            int nibbles = 0;
            unsigned acc = 0;
            for (;;) {
                SkipSpace();
                if (pos_ >= t_.size()) Fail("'}' expected");
                char h = t_[pos_++];
                if (h == '}') break;
                int d = std::isdigit(static_cast<unsigned char>(h)) ? h - '0'
                        : (h >= 'A' && h <= 'F')                   ? h - 'A' + 10
                        : (h >= 'a' && h <= 'f')                   ? h - 'a' + 10
                                                                   : -1;
                if (d < 0) Fail("hex digit expected");
                acc = acc * 16 + unsigned(d);
                if (++nibbles == 2) {
                    v.binary.push_back(static_cast<std::uint8_t>(acc));
                    nibbles = 0;
                    acc = 0;
                }
            }
            if (nibbles) Fail("odd number of hex digits");
        } else if (AtIdentStart()) {
            v.kind = PropValue::Kind::Ident;
            v.ident = Ident();
        } else {
            Fail("value expected");
        }
        return v;
    }

    // 'quoted' pieces ('' is a quote), #nnnn code units, joined by + across lines.
    std::u16string ParseString() {
        std::u16string out;
        for (;;) {
            SkipSpace();
            bool any = false;
            while (pos_ < t_.size() && (t_[pos_] == '\'' || t_[pos_] == '#')) {
                any = true;
                if (t_[pos_] == '\'') {
                    ++pos_;
                    for (;;) {
                        if (pos_ >= t_.size() || t_[pos_] == '\n') Fail("unterminated string");
                        char ch = t_[pos_++];
                        if (ch == '\'') {
                            if (pos_ < t_.size() && t_[pos_] == '\'') { out.push_back(u'\''); ++pos_; continue; }
                            break;
                        }
                        if (static_cast<unsigned char>(ch) >= 0x80) Fail("non-ASCII byte in a string: use #code units");
                        out.push_back(static_cast<char16_t>(ch));
                    }
                } else {
                    ++pos_;
                    if (pos_ >= t_.size() || !std::isdigit(static_cast<unsigned char>(t_[pos_]))) Fail("code unit expected after #");
                    unsigned long n = 0;
                    while (pos_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[pos_]))) {
                        n = n * 10 + unsigned(t_[pos_++] - '0');
                        if (n > 0xFFFF) Fail("code unit out of range");
                    }
                    out.push_back(static_cast<char16_t>(n));
                }
            }
            if (!any) Fail("string expected");
            std::size_t save = pos_;
            int saveLine = line_;
            SkipSpace();
            if (pos_ < t_.size() && t_[pos_] == '+') { ++pos_; continue; }
            pos_ = save;
            line_ = saveLine;
            return out;
        }
    }
};

}  // namespace

ObjectDef ParseFormDef(std::string_view text) { return Parser(text).ParseRoot(); }

const PropValue* ObjectDef::Find(std::string_view prop) const {
    for (const auto& [k, v] : props)
        if (k == prop) return &v;
    return nullptr;
}

static FormDefError WrongKind(const ObjectDef& o, std::string_view prop) {
    return FormDefError("form definition: " + o.name + "." + std::string(prop) + " has the wrong kind of value");
}

std::int64_t ObjectDef::Int(std::string_view prop, std::int64_t def) const {
    const PropValue* v = Find(prop);
    if (!v) return def;
    if (v->kind != PropValue::Kind::Integer) throw WrongKind(*this, prop);
    return v->integer;
}

bool ObjectDef::Bool(std::string_view prop, bool def) const {
    const PropValue* v = Find(prop);
    if (!v) return def;
    if (v->kind == PropValue::Kind::Ident && v->ident == "True") return true;
    if (v->kind == PropValue::Kind::Ident && v->ident == "False") return false;
    throw WrongKind(*this, prop);
}

std::string ObjectDef::Ident(std::string_view prop, const std::string& def) const {
    const PropValue* v = Find(prop);
    if (!v) return def;
    if (v->kind != PropValue::Kind::Ident) throw WrongKind(*this, prop);
    return v->ident;
}

std::u16string ObjectDef::Text(std::string_view prop, const std::u16string& def) const {
    const PropValue* v = Find(prop);
    if (!v) return def;
    if (v->kind != PropValue::Kind::String) throw WrongKind(*this, prop);
    return v->text;
}

bool ObjectDef::HasInSet(std::string_view prop, std::string_view member) const {
    const PropValue* v = Find(prop);
    if (!v) return false;
    if (v->kind != PropValue::Kind::Set) throw WrongKind(*this, prop);
    for (const std::string& m : v->set)
        if (m == member) return true;
    return false;
}

const std::vector<std::uint8_t>* ObjectDef::Binary(std::string_view prop) const {
    const PropValue* v = Find(prop);
    if (!v) return nullptr;
    if (v->kind != PropValue::Kind::Binary) throw WrongKind(*this, prop);
    return &v->binary;
}

const ObjectDef* ObjectDef::FindObject(std::string_view objName) const {
    for (const ObjectDef& c : children) {
        if (c.name == objName) return &c;
        if (const ObjectDef* d = c.FindObject(objName)) return d;
    }
    return nullptr;
}

std::uint32_t ColorFromIdent(std::string_view ident) {
    struct Named { const char* name; std::uint32_t value; };
    static const Named table[] = {
        {"clBlack", 0x000000},   {"clWhite", 0xFFFFFF},     {"clMaroon", 0x000080}, {"clGreen", 0x008000},
        {"clNavy", 0x800000},    {"clGray", 0x808080},      {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF},
        {"clBlue", 0xFF0000},    {"clBtnFace", 0x80000000u | 15}, {"clWindow", 0x80000000u | 5},
        {"clWindowText", 0x80000000u | 8}, {"clBtnText", 0x80000000u | 18},
    };
    for (const Named& n : table)
        if (ident == n.name) return n.value;
    throw FormDefError("form definition: unknown colour " + std::string(ident));
}

}  // namespace fw
