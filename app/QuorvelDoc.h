// CQuorvelDoc: the program's document. It holds nothing: a saved ".qvl" file is empty and
// opening any file changes nothing. It exists for the shell's file type and the commands
// New, Open and Save.
#pragma once

#include <QString>

class CQuorvelDoc {
public:
    static constexpr const char* kExtension = ".qvl";
    static constexpr const char* kFileTypeId = "Quorvel.Document";
    static constexpr const char* kFilter = "Quorvel Files (*.qvl)";

    bool OnNewDocument() { return true; }
    // Reads nothing; false only when the file cannot be opened.
    bool OnOpenDocument(const QString& path);
    // Writes an empty file; false when it cannot be written.
    bool OnSaveDocument(const QString& path);
};
