// The in-process server around the stand-in control: class object, unload
// test and self-registration.
//
// Registration goes to HKEY_CLASSES_ROOT when that is writable (an elevated
// regsvr32, or a Wine prefix, whose COM lookup ignores per-user classes) and
// otherwise to the current user's HKCU\Software\Classes. The class id is the
// real Flash control's: where another existing server file owns it, the
// registration refuses and changes nothing, and unregistering removes only
// entries that point at this file.
#include <windows.h>
#include <olectl.h>

#include <string>

#include "ScopedWin.h"
#include "Standin.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

const wchar_t kClassKey[] = L"CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}";
const wchar_t kUserClasses[] = L"Software\\Classes\\";
const wchar_t kClassName[] = L"Movie control stand-in (swfsaver)";

struct Place {
    HKEY root;
    std::wstring key;
};

Place MachinePlace() { return {HKEY_CLASSES_ROOT, kClassKey}; }
Place UserPlace() { return {HKEY_CURRENT_USER, std::wstring(kUserClasses) + kClassKey}; }

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), &path[0], DWORD(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The server file registered for the class at `p`; empty when none.
std::wstring RegisteredServer(const Place& p) {
    fw::ScopedKey key;
    if (::RegOpenKeyExW(p.root, (p.key + L"\\InprocServer32").c_str(), 0, KEY_QUERY_VALUE, key.receive()) !=
        ERROR_SUCCESS)
        return {};
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return {};
    std::wstring v(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(&v[0]), &size) !=
        ERROR_SUCCESS)
        return {};
    v.resize(wcsnlen(v.c_str(), v.size()));
    if (type == REG_EXPAND_SZ) {
        wchar_t buf[MAX_PATH * 2];
        DWORD n = ::ExpandEnvironmentStringsW(v.c_str(), buf, DWORD(std::size(buf)));
        if (n > 0 && n <= std::size(buf)) v = buf;
    }
    return v;
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool FileExists(const std::wstring& path) {
    DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// Someone else's server is registered at `p` and still installed.
bool OwnedByOther(const Place& p, const std::wstring& self) {
    std::wstring other = RegisteredServer(p);
    return !other.empty() && !SameFile(other, self) && FileExists(other);
}

LONG SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            DWORD((value.size() + 1) * sizeof(wchar_t)));
}

LONG CreateKey(HKEY parent, const std::wstring& sub, fw::ScopedKey& out) {
    return ::RegCreateKeyExW(parent, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                             out.receive(), nullptr);
}

LONG WriteClass(const Place& p, const std::wstring& server) {
    fw::ScopedKey cls, inproc, control;
    LONG rc = CreateKey(p.root, p.key, cls);
    if (rc != ERROR_SUCCESS) return rc;
    if ((rc = SetString(cls.get(), nullptr, kClassName)) != ERROR_SUCCESS) return rc;
    if ((rc = CreateKey(cls.get(), L"InprocServer32", inproc)) != ERROR_SUCCESS) return rc;
    if ((rc = SetString(inproc.get(), nullptr, server)) != ERROR_SUCCESS) return rc;
    if ((rc = SetString(inproc.get(), L"ThreadingModel", L"Apartment")) != ERROR_SUCCESS) return rc;
    // Marks the class as an insertable control for containers that list them.
    return CreateKey(cls.get(), L"Control", control);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(module);
    return TRUE;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return StandinGetClassObject(clsid, iid, out);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
    if (standin::LiveCount() != 0) return S_FALSE;
    standin::ReleaseModuleResources();
    return S_OK;
}

extern "C" HRESULT __stdcall DllRegisterServer() {
    std::wstring self = ModulePath();
    if (self.empty()) return SELFREG_E_CLASS;
    Place machine = MachinePlace(), user = UserPlace();
    if (OwnedByOther(machine, self) || OwnedByOther(user, self)) return SELFREG_E_CLASS;
    LONG rc = WriteClass(machine, self);
    if (rc == ERROR_ACCESS_DENIED) {
        ::RegDeleteTreeW(machine.root, machine.key.c_str());  // a partial write, if any
        rc = WriteClass(user, self);
        if (rc != ERROR_SUCCESS) ::RegDeleteTreeW(user.root, user.key.c_str());
    } else if (rc != ERROR_SUCCESS) {
        ::RegDeleteTreeW(machine.root, machine.key.c_str());
    }
    return rc == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
    std::wstring self = ModulePath();
    HRESULT result = S_OK;
    for (const Place& p : {MachinePlace(), UserPlace()}) {
        std::wstring server = RegisteredServer(p);
        if (server.empty() || !SameFile(server, self)) continue;  // absent, or not ours
        LONG rc = ::RegDeleteTreeW(p.root, p.key.c_str());
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) result = SELFREG_E_CLASS;
    }
    return result;
}
