#include "OptionsKeyName.h"

std::string OptionsKey(std::string_view exePath, fw::LeadBytePredicate isLead) {
    return "Software\\qrnsoftware\\" + fw::RemoveLastExtension(fw::ExtractFileName(exePath, isLead), isLead);
}
