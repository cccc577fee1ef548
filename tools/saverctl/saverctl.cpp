// saverctl: a small companion for running the saver by hand or from scripts.
//   saverctl wait [seconds]    waits until the saver's window is visible (exit 0) or times out (1)
//   saverctl close             sends the saver's private close message (WM_USER + 2)
//   saverctl settings <movie> [expansion]
//                              points the settings of swfsaver.scr at a movie when none is set
//   saverctl set <movie> [expansion]
//                              points them at the movie whatever was set before
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static HWND FindSaver() { return ::FindWindowA("TForm1", nullptr); }

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: saverctl wait [seconds] | close | settings|set <movie> [expansion]\n");
        return 2;
    }
    std::string cmd = argv[1];
    if (cmd == "wait") {
        int secs = argc > 2 ? std::atoi(argv[2]) : 30;
        for (int i = 0; i < secs * 10; ++i) {
            HWND w = FindSaver();
            if (w && ::IsWindowVisible(w)) return 0;
            ::Sleep(100);
        }
        return 1;
    }
    if (cmd == "close") {
        HWND w = FindSaver();
        if (!w) return 1;
        return ::PostMessageA(w, WM_USER + 2, 0, 0) ? 0 : 1;
    }
    if ((cmd == "settings" || cmd == "set") && argc > 2) {
        const char* key = "Software\\qrnsoftware\\swfsaver\\OPTION";
        HKEY k = nullptr;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
            ERROR_SUCCESS)
            return 1;
        char existing[1024] = {};
        DWORD size = sizeof existing, type = 0;
        bool set = cmd == "settings" &&
                   ::RegQueryValueExA(k, "FileName", nullptr, &type, reinterpret_cast<BYTE*>(existing), &size) ==
                       ERROR_SUCCESS &&
                   existing[0] != '\0';
        int rc = 0;
        if (!set) {
            const char* expansion = argc > 3 ? argv[3] : "0";
            if (::RegSetValueExA(k, "FileName", 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[2]),
                                 DWORD(std::strlen(argv[2]) + 1)) != ERROR_SUCCESS ||
                ::RegSetValueExA(k, "Expansion", 0, REG_SZ, reinterpret_cast<const BYTE*>(expansion),
                                 DWORD(std::strlen(expansion) + 1)) != ERROR_SUCCESS)
                rc = 1;
            std::printf("saverctl: movie set to %s\n", argv[2]);
        } else {
            std::printf("saverctl: movie already configured: %s\n", existing);
        }
        ::RegCloseKey(k);
        return rc;
    }
    std::fprintf(stderr, "saverctl: unknown command %s\n", cmd.c_str());
    return 2;
}
