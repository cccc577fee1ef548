#include "StrUtils.h"

namespace fw {

bool NoLeadBytes(unsigned char) { return false; }

bool ShiftJisLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

std::string UpperCaseAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return text;
}

std::size_t LastDelimiter(std::string_view text, std::string_view delims, LeadBytePredicate isLead) {
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (isLead(b) && i + 1 < text.size()) {
            ++i;  // the trail byte belongs to this character, whatever its value
            continue;
        }
        if (delims.find(char(b)) != std::string_view::npos) found = i;
    }
    return found;
}

std::string ExtractFileName(std::string_view path, LeadBytePredicate isLead) {
    std::size_t i = LastDelimiter(path, "\\:", isLead);
    return std::string(i == std::string_view::npos ? path : path.substr(i + 1));
}

std::string ExtractFilePath(std::string_view path, LeadBytePredicate isLead) {
    std::size_t i = LastDelimiter(path, "\\:", isLead);
    return i == std::string_view::npos ? std::string() : std::string(path.substr(0, i + 1));
}

std::string RemoveLastExtension(std::string_view path, LeadBytePredicate isLead) {
    std::size_t i = LastDelimiter(path, ".\\:", isLead);
    if (i == std::string_view::npos || path[i] != '.') return std::string(path);
    return std::string(path.substr(0, i));
}

static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::int32_t> TryStrToInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        i += 1;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= text.size()) return std::nullopt;
    std::uint64_t value = 0;
    if (hex) {
        for (; i < text.size(); ++i) {
            int d = HexDigit(text[i]);
            if (d < 0) return std::nullopt;
            value = value * 16 + std::uint64_t(d);
            if (value > 0xFFFFFFFFull) return std::nullopt;
        }
        std::uint32_t v = static_cast<std::uint32_t>(value);
        if (negative) v = 0u - v;
        return static_cast<std::int32_t>(v);  // two's complement: $FFFFFFFF is -1
    }
    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + std::uint64_t(c - '0');
        if (value > limit) return std::nullopt;
    }
    std::uint32_t v = static_cast<std::uint32_t>(value);
    if (negative) v = 0u - v;
    return static_cast<std::int32_t>(v);
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
    std::optional<std::int32_t> v = TryStrToInt(text);
    return v ? *v : fallback;
}

void LowerAscii(std::string& text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
}

std::string ApplicationTitle(std::string_view exePath, LeadBytePredicate isLead, void (*lower)(std::string&)) {
    std::string name = ExtractFileName(exePath, isLead);
    // Cut at the first dot that is not the trail byte of a double-byte character.
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(name[i]);
        if (isLead(b) && i + 1 < name.size()) {
            ++i;
            continue;
        }
        if (b == '.') {
            name.resize(i);
            break;
        }
    }
    if (name.empty()) return name;
    std::size_t first = (isLead(static_cast<unsigned char>(name[0])) && name.size() > 1) ? 2 : 1;
    std::string rest = name.substr(first);
    lower(rest);
    return name.substr(0, first) + rest;
}

}  // namespace fw

namespace fw {
std::string ErrorBoxText(std::string_view message, LeadBytePredicate isLead) {
    std::string out(message);
    if (out.empty()) return out;
    // Find the first byte of the last character.
    std::size_t last = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        last = i;
        if (isLead(static_cast<unsigned char>(out[i])) && i + 1 < out.size()) ++i;
    }
    if (static_cast<unsigned char>(out[last]) > static_cast<unsigned char>('.')) out += '.';
    return out;
}
}  // namespace fw
