// Minimal test support shared by the host tests and the Windows-side tests
// (GoogleTest is not available for the MinGW builds, so both use this).
//
//   TEST_CASE(name) { CHECK(x); CHECK_EQ(a, b); }
//   int main() { return check::run_all(); }   (or link check_main.cpp)
//
// A failing CHECK records the failure and goes on; REQUIRE stops the case.
#pragma once
#include <cstdio>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace check {

struct Case {
    const char* name;
    void (*fn)();
};

inline std::vector<Case>& registry() {
    static std::vector<Case> cases;
    return cases;
}

inline int& failures() {
    static int n = 0;
    return n;
}

struct Registrar {
    Registrar(const char* name, void (*fn)()) { registry().push_back({name, fn}); }
};

struct Abort {};

template <typename T>
std::string show(const T& v) {
    std::ostringstream os;
    if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, const char*> || std::is_same_v<T, char*>) {
        os << '"';
        for (unsigned char c : std::string(v)) {
            if (c >= 0x20 && c < 0x7f) os << c;
            else { char b[8]; std::snprintf(b, sizeof b, "\\x%02X", c); os << b; }
        }
        os << '"';
    } else if constexpr (std::is_same_v<T, std::wstring>) {
        os << "L\"";
        for (wchar_t c : v) {
            if (c >= 0x20 && c < 0x7f) os << char(c);
            else { char b[12]; std::snprintf(b, sizeof b, "\\u%04X", unsigned(c)); os << b; }
        }
        os << '"';
    } else if constexpr (std::is_same_v<T, bool>) {
        os << (v ? "true" : "false");
    } else if constexpr (std::is_same_v<T, char> || std::is_same_v<T, unsigned char> || std::is_same_v<T, signed char>) {
        os << int(v);
    } else if constexpr (std::is_enum_v<T>) {
        os << static_cast<long long>(v);
    } else if constexpr (std::is_arithmetic_v<T>) {
        os << v;
    } else {
        os << "<value>";
    }
    return os.str();
}

inline void fail(const char* file, int line, const std::string& what) {
    ++failures();
    std::fprintf(stderr, "%s:%d: FAILED: %s\n", file, line, what.c_str());
    std::fflush(stderr);
}

inline int run_all(const char* filter = nullptr) {
    int failed_cases = 0;
    for (const Case& c : registry()) {
        if (filter && std::string(c.name).find(filter) == std::string::npos) continue;
        int before = failures();
        std::printf("[ RUN  ] %s\n", c.name);
        std::fflush(stdout);
        try {
            c.fn();
        } catch (const Abort&) {
        } catch (const std::exception& e) {
            fail(__FILE__, __LINE__, std::string("exception: ") + e.what());
        } catch (...) {
            fail(__FILE__, __LINE__, "unknown exception");
        }
        bool ok = failures() == before;
        if (!ok) ++failed_cases;
        std::printf("[ %s ] %s\n", ok ? " OK " : "FAIL", c.name);
        std::fflush(stdout);
    }
    std::printf("%d case(s) failed\n", failed_cases);
    return failed_cases ? 1 : 0;
}

}  // namespace check

#define CHECK_CAT2(a, b) a##b
#define CHECK_CAT(a, b) CHECK_CAT2(a, b)
#define TEST_CASE(name)                                                   \
    static void name();                                                   \
    static ::check::Registrar CHECK_CAT(check_reg_, name)(#name, &name);  \
    static void name()

#define CHECK(cond)                                                       \
    do {                                                                  \
        if (!(cond)) ::check::fail(__FILE__, __LINE__, "CHECK(" #cond ")"); \
    } while (0)

#define REQUIRE(cond)                                                     \
    do {                                                                  \
        if (!(cond)) {                                                    \
            ::check::fail(__FILE__, __LINE__, "REQUIRE(" #cond ")");      \
            throw ::check::Abort{};                                       \
        }                                                                 \
    } while (0)

#define CHECK_EQ(a, b)                                                                        \
    do {                                                                                      \
        const auto& check_a_ = (a);                                                           \
        const auto& check_b_ = (b);                                                           \
        if (!(check_a_ == check_b_))                                                          \
            ::check::fail(__FILE__, __LINE__,                                                 \
                          "CHECK_EQ(" #a ", " #b "): " + ::check::show(check_a_) + " != " +   \
                              ::check::show(check_b_));                                       \
    } while (0)

// Context for table-driven cases: CHECK_EQ_AT(row, a, b) names the row on failure.
#define CHECK_EQ_AT(row, a, b)                                                                \
    do {                                                                                      \
        const auto& check_a_ = (a);                                                           \
        const auto& check_b_ = (b);                                                           \
        if (!(check_a_ == check_b_))                                                          \
            ::check::fail(__FILE__, __LINE__,                                                 \
                          std::string("[") + (row) + "] CHECK_EQ(" #a ", " #b "): " +         \
                              ::check::show(check_a_) + " != " + ::check::show(check_b_));    \
    } while (0)

#define CHECK_THROWS(expr)                                                                    \
    do {                                                                                      \
        bool check_threw_ = false;                                                            \
        try { (void)(expr); } catch (...) { check_threw_ = true; }                            \
        if (!check_threw_) ::check::fail(__FILE__, __LINE__, "CHECK_THROWS(" #expr ")");      \
    } while (0)
