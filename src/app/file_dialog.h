// The file dialog routine: open (one or several files) and save dialogs with
// a title and filters written as the program shows them
// ("GPS log files {*.gpx,*.nme}"), seeded with a path. Open dialogs require
// the files to exist, save dialogs ask before overwriting, the first filter
// is selected, and no dialog changes the process's current directory.
#pragma once

#include <QFileDialog>
#include <QString>
#include <filesystem>
#include <functional>
#include <vector>

namespace trakvio {

// Mode bits.
inline constexpr int kFileDialogOpen = 0;
inline constexpr int kFileDialogSave = 1;      // bit 0
inline constexpr int kFileDialogMultiple = 2;  // bit 1, open dialogs only

struct FileDialogRequest {
    int mode = kFileDialogOpen;
    QString title;
    // One or more filters separated by ";;", each "Label {*.a,*.b}".
    QString filter;
    // Seed: a file (its folder is opened and its name proposed) or a folder.
    std::filesystem::path seed;
    // Save dialogs: added (without the dot) to a chosen name that has no
    // extension; empty adds nothing.
    QString defaultSuffix;
};

// Shows the dialog modally and returns the chosen paths (absolute), none when
// cancelled. With kFileDialogMultiple one chosen file gives one full path.
std::vector<std::filesystem::path> RunFileDialog(QWidget* owner, const FileDialogRequest& request);

// The Qt form of a filter text: "Label {*.a,*.b}" becomes
// "Label {*.a,*.b} (*.a *.b)"; the dialog hides the part in parentheses.
QString QtNameFilter(const QString& filter);

// Tests answer the dialog through this hook: it is called with the shown
// dialog (never a native one) and must end it, e.g. selectFile() then
// static_cast<QDialog&>(dialog).accept() (QFileDialog::accept is protected).
// nullptr restores the interactive dialog.
using FileDialogHook = std::function<void(QFileDialog&)>;
void SetFileDialogHookForTest(FileDialogHook hook);

}  // namespace trakvio
