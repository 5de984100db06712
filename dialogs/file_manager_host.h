#pragma once
// What the file manager shares with the window that opens it: the program-wide variables it
// fills in, which the window reads once the dialog returns (and the next opening starts from),
// and what Save needs of the window.

#include <QString>

#include <array>
#include <cstdint>

namespace sylvane::storage {
struct SessionHeader;
}

namespace sylvane::dialogs {

struct FileManagerVariables {
    // The folder last used: the next opening starts there.
    QString appPath;
    std::int32_t lastMsgBoxResult = 0;
    // Display mode: the sessions chosen, in the order added.
    std::int16_t displayFileCount = 0;
    std::array<QString, 6> displayTstFiles;
    std::array<QString, 6> displayHdrFiles;
    // The set being worked on, built from the folder and the typed name.
    QString displayTstPath;
    QString displayHdrPath;
};

class FileManagerHost {
public:
    virtual ~FileManagerHost() = default;
    virtual FileManagerVariables& fileManagerVariables() = 0;
    // Where the working files (tempdata.*) lie.
    virtual QString programFolder() const = 0;
    // The session comments box: Save writes its text into the copied header.
    virtual QString sessionComments() const = 0;
    virtual void setSessionComments(const QString& text) = 0;
    // The last session's header when tempdata.hdr could not take it; nullptr when it did.
    virtual const storage::SessionHeader* unwrittenHeader() const = 0;
};

} // namespace sylvane::dialogs
