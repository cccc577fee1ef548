// The control's stored initial state: the block a container hands to
// IPersistStreamInit::Load. Pure code (no Windows calls), header-only so the
// host tests can use it without a library of their own.
//
// Layout, little-endian: magic, format word, extent width and height in
// HIMETRIC, then 15 values, each a 16-bit type code and its data:
//   type 8  text: 32-bit byte length (terminating NUL included), UTF-16 units
//   type 11 flag: 16 bits, 0xFFFF true, 0 false
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace standin {

constexpr std::uint32_t kStateMagic = 0x55665567;
constexpr std::uint32_t kStateFormat = 0x300;
constexpr std::uint16_t kValueText = 8;
constexpr std::uint16_t kValueFlag = 11;
constexpr std::size_t kStateValueCount = 15;
// The type each position must carry.
constexpr std::array<std::uint16_t, kStateValueCount> kStateValueTypes = {
    kValueText, kValueText, kValueText, kValueFlag, kValueFlag, kValueText, kValueText, kValueFlag,
    kValueText, kValueText, kValueFlag, kValueFlag, kValueText, kValueText, kValueText};
// Positions this control interprets.
constexpr std::size_t kStateWindowMode = 0;
constexpr std::size_t kStateQuality = 5;
constexpr std::size_t kStateScaleMode = 9;
constexpr std::size_t kStateStacking = 14;

enum class StateError { None, Truncated, BadMagic, BadFormat, BadExtent, BadValueType, BadText, BadFlag };

inline const char* StateErrorText(StateError e) {
    switch (e) {
    case StateError::None: return "ok";
    case StateError::Truncated: return "block ends early";
    case StateError::BadMagic: return "wrong magic";
    case StateError::BadFormat: return "unknown format word";
    case StateError::BadExtent: return "extent not positive";
    case StateError::BadValueType: return "value of the wrong type";
    case StateError::BadText: return "malformed text value";
    case StateError::BadFlag: return "flag neither 0 nor -1";
    }
    return "?";
}

struct StateValue {
    std::uint16_t type = kValueText;
    std::u16string text;
    bool flag = false;
};

struct StoredState {
    std::int32_t extentX = 0;  // HIMETRIC
    std::int32_t extentY = 0;
    std::array<StateValue, kStateValueCount> values;
};

namespace detail {
inline std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
inline std::uint16_t Le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }
}  // namespace detail

// Parses one block from the start of `data`. On success fills `out` and sets
// `*consumed` to the block's length (a stream may carry more after it); on
// failure `out` is left unspecified.
inline StateError ParseStoredState(const std::uint8_t* data, std::size_t size, StoredState& out,
                                   std::size_t* consumed = nullptr) {
    using detail::Le16;
    using detail::Le32;
    std::size_t pos = 0;
    auto have = [&](std::size_t n) { return size - pos >= n; };
    if (!have(16)) return StateError::Truncated;
    if (Le32(data) != kStateMagic) return StateError::BadMagic;
    if (Le32(data + 4) != kStateFormat) return StateError::BadFormat;
    out.extentX = std::int32_t(Le32(data + 8));
    out.extentY = std::int32_t(Le32(data + 12));
    if (out.extentX <= 0 || out.extentY <= 0) return StateError::BadExtent;
    pos = 16;
    for (std::size_t i = 0; i < kStateValueCount; ++i) {
        if (!have(2)) return StateError::Truncated;
        std::uint16_t type = Le16(data + pos);
        pos += 2;
        if (type != kStateValueTypes[i]) return StateError::BadValueType;
        StateValue& v = out.values[i];
        v = StateValue{};
        v.type = type;
        if (type == kValueFlag) {
            if (!have(2)) return StateError::Truncated;
            std::uint16_t f = Le16(data + pos);
            pos += 2;
            if (f != 0 && f != 0xFFFF) return StateError::BadFlag;
            v.flag = f != 0;
            continue;
        }
        if (!have(4)) return StateError::Truncated;
        std::uint32_t len = Le32(data + pos);
        pos += 4;
        // At least the NUL, whole UTF-16 units; a length past the end is a
        // truncated block, not a huge allocation.
        if (len < 2 || len % 2 != 0) return StateError::BadText;
        if (!have(len)) return StateError::Truncated;
        std::size_t units = len / 2;
        for (std::size_t u = 0; u + 1 < units; ++u) {
            char16_t c = char16_t(Le16(data + pos + 2 * u));
            if (c == 0) return StateError::BadText;  // NUL before the end
            v.text.push_back(c);
        }
        if (Le16(data + pos + len - 2) != 0) return StateError::BadText;
        pos += len;
    }
    if (consumed) *consumed = pos;
    return StateError::None;
}

}  // namespace standin
