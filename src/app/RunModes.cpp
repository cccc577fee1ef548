#include "RunModes.h"

namespace app {

// "ERROR - 複数アプリケーションの起動は制限されています。" in Shift-JIS.
const char kSecondInstanceMessage[] =
    "ERROR - \x95\xA1\x90\x94\x83\x41\x83\x76\x83\x8A\x83\x50\x81\x5B\x83\x56\x83\x87\x83\x93\x82\xCC"
    "\x8B\x4E\x93\xAE\x82\xCD\x90\xA7\x8C\xC0\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7\x81\x42";

const char kSingleInstanceMutexName[] = "Pellomar for quorinsoftware";

std::optional<TRunMode> ClassifyParam(std::string_view p) {
    auto firstTwo = [&](const char* s) { return p.size() >= 2 && p[0] == s[0] && p[1] == s[1]; };
    auto first = [&](char c) { return !p.empty() && p[0] == c; };
    struct Row { char letter; TRunMode mode; };
    static const Row rows[] = {{'A', rmPassword}, {'P', rmPreview}, {'C', rmConfig}, {'S', rmSaver}};
    for (const Row& r : rows) {
        const char slash[] = {'/', r.letter, 0};
        const char dash[] = {'-', r.letter, 0};
        if (firstTwo(slash) || firstTwo(dash) || first(r.letter)) return r.mode;
    }
    if (p.empty()) return rmConfig;
    return std::nullopt;
}

namespace {

// Reads one parameter at `pos`; returns false at the end of the line.
bool NextParam(std::string_view s, std::size_t& pos, std::string* out, fw::LeadBytePredicate isLead) {
    auto blank = [&](std::size_t i) { return static_cast<unsigned char>(s[i]) <= ' '; };
    for (;;) {
        while (pos < s.size() && blank(pos)) ++pos;
        if (pos + 1 < s.size() && s[pos] == '"' && s[pos + 1] == '"') pos += 2;
        else break;
    }
    if (pos >= s.size()) return false;
    std::string param;
    auto take = [&]() {
        std::size_t n = (isLead(static_cast<unsigned char>(s[pos])) && pos + 1 < s.size()) ? 2 : 1;
        param.append(s.substr(pos, n));
        pos += n;
    };
    while (pos < s.size() && !blank(pos)) {
        if (s[pos] == '"') {
            ++pos;
            while (pos < s.size() && s[pos] != '"') take();
            if (pos < s.size()) ++pos;
        } else {
            take();
        }
    }
    if (out) *out = std::move(param);
    return true;
}

}  // namespace

std::string ParamStr(std::string_view commandLine, int index, fw::LeadBytePredicate isLead) {
    std::size_t pos = 0;
    std::string param;
    for (int i = 0; i <= index; ++i) {
        if (!NextParam(commandLine, pos, &param, isLead)) return std::string();
    }
    return param;
}

std::string PasswordLibraryPath(std::string systemDir) {
    if (!systemDir.empty() && systemDir.back() != '\\') systemDir += '\\';
    return systemDir + "MPR.DLL";
}

}  // namespace app
