#include "Options.h"

#include <windows.h>

#include "Application.h"
#include "Error.h"
#include "Registry.h"

namespace {

const char kSection[] = "OPTION";

}  // namespace

std::string OptionsKey() { return OptionsKey(fw::ModuleFileName(), fw::AnsiLeadByte); }

Options ReadOptions() {
    Options options;
    fw::ScopedKey key = fw::OpenKey(HKEY_CURRENT_USER, OptionsKey(), KEY_ALL_ACCESS, true);
    if (!key) return options;  // neither there nor creatable: the defaults
    options.Expansion = fw::StrToIntDef(fw::ReadSectionString(key.get(), kSection, "Expansion", ""), 0) != 0;
    options.FileName = fw::ReadSectionString(key.get(), kSection, "FileName", "");
    return options;
}

void WriteOptions(bool Expansion, const std::string& FileName) {
    const std::string path = OptionsKey();
    LONG rc = ERROR_SUCCESS;
    fw::ScopedKey key = fw::OpenKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, true, &rc);
    if (!key) fw::RaiseOSError(static_cast<unsigned long>(rc), "Failed to create key " + path);
    fw::WriteSectionString(key.get(), kSection, "Expansion", Expansion ? "1" : "0");
    fw::WriteSectionString(key.get(), kSection, "FileName", FileName);
}
