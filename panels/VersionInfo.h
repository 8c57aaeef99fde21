// The program's version resource: string values such as "FileVersion" of the build, and the
// About box's version text made from it ("0.9.0.0" gives "v0.9.0").
#pragma once

#include <string>

// The value of `key` in the program's version block; empty when there is none.
std::wstring ReadVersionString(const std::wstring& key);
// "v" and the file version with trailing white space removed, cut before its last "."; a
// version without "." gives "v" alone.
std::wstring VersionTextFrom(std::wstring fileVersion);
// VersionTextFrom(ReadVersionString(L"FileVersion")), computed once per run.
const std::wstring& ProgramVersionText();
