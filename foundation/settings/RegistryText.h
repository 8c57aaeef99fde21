// The registry editor's text form of a key tree ("Windows Registry Editor Version 5.00"),
// written as UTF-16 LE with a byte-order mark. Import reads UTF-16 LE with a byte-order mark
// or UTF-8, checks the whole file before changing anything and applies it as one transaction.
#pragma once

#include <filesystem>
#include <string>

namespace Zezezezo {

// Writes the key `keyPath` below the per-user root (e.g. "Software\Pelvarin\Quorvel Control
// Software") and everything below it. False with `*error` set (when given) on failure; a
// failed export leaves no partial file behind.
bool ExportRegistryText(const std::wstring& keyPath, const std::filesystem::path& file,
                        std::wstring* error);

// Applies a registry text file to the per-user root. Only HKEY_CURRENT_USER keys are
// accepted. A syntax error is reported with its line number and nothing is changed.
bool ImportRegistryText(const std::filesystem::path& file, std::wstring* error);

}  // namespace Zezezezo
