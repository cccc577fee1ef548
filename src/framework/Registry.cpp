#include "Registry.h"

#include <cstring>
#include <limits>

#include "Error.h"

namespace fw {

ScopedKey OpenKey(HKEY parent, const std::string& path, REGSAM access, bool create, LONG* status) {
    ScopedKey key;
    LONG rc = create ? ::RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                         key.receive(), nullptr)
                     : ::RegOpenKeyExA(parent, path.c_str(), 0, access, key.receive());
    if (rc != ERROR_SUCCESS) key.release();  // the out-parameter holds nothing of ours then
    if (status) *status = rc;
    return key;
}

void CreateKey(HKEY parent, const std::string& name) {
    LONG rc = ERROR_SUCCESS;
    ScopedKey key = OpenKey(parent, name, KEY_ALL_ACCESS, true, &rc);
    if (!key) RaiseOSError(static_cast<unsigned long>(rc), "Failed to create key " + name);
}

bool ValueExists(HKEY key, const std::string& name) {
    return ::RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::string ReadStringValue(HKEY key, const std::string& name) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG rc = ::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::string data(size, '\0');
    // The value may grow between the two calls; the second then reports the new size.
    while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
        data.resize(size);
        rc = ::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (rc == ERROR_SUCCESS) break;
    }
    if (rc != ERROR_SUCCESS) RaiseOSError(static_cast<unsigned long>(rc), "Failed to get data for '" + name + "'");
    data.resize(size);
    if (data.empty()) return data;
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw Error("Invalid data type for '" + name + "'");
    data.resize(std::strlen(data.c_str()));
    return data;
}

void WriteStringValue(HKEY key, const std::string& name, const std::string& value) {
    if (value.size() >= std::numeric_limits<DWORD>::max()) throw Error("Failed to set data for '" + name + "'");
    LONG rc = ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>(value.size() + 1));
    if (rc != ERROR_SUCCESS) RaiseOSError(static_cast<unsigned long>(rc), "Failed to set data for '" + name + "'");
}

std::string ReadSectionString(HKEY key, const std::string& section, const std::string& ident,
                              const std::string& fallback) {
    ScopedKey sub = OpenKey(key, section, KEY_ALL_ACCESS, false);
    if (!sub || !ValueExists(sub.get(), ident)) return fallback;
    return ReadStringValue(sub.get(), ident);
}

void WriteSectionString(HKEY key, const std::string& section, const std::string& ident, const std::string& value) {
    CreateKey(key, section);
    ScopedKey sub = OpenKey(key, section, KEY_ALL_ACCESS, false);
    if (!sub) return;
    WriteStringValue(sub.get(), ident, value);
}

}  // namespace fw
