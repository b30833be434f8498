// The Help menu: the help pages, the About box, the program's folders, the
// configuration file and the system information report.
#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QUrl>
#include <cstdio>
#include <system_error>

#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/system_info.h"
#include "platform/messages.h"

namespace trakvio {

namespace fs = std::filesystem;

void MainWindow::BuildHelpMenu(QMenu* menu) {
    AddCommand(menu, kCmdUserManual, QStringLiteral("User's Manual"), [this] { OpenHelpPage("Trakvio_help.htm"); });
    AddCommand(menu, kCmdScriptSample, QStringLiteral("Script Sample"),
               [this] { OpenHelpPage("q9script_sample.htm"); });
    AddCommand(menu, kCmdAbout, QStringLiteral("About Trakvio"), [this] { ShowAbout(); });
    menu->addSeparator();
    AddCommand(menu, kCmdBrowseUserFolder, QStringLiteral("browse AppData folder"),
               [this] { OpenLocation(state_.settings.userFolder); });
    AddCommand(menu, kCmdBrowseCacheFolder, QStringLiteral("browse Cache folder"),
               [this] { OpenLocation(state_.settings.tileCacheFolder); });
    AddCommand(menu, kCmdBrowseWorkFolder, QStringLiteral("browse Work folder"),
               [this] { OpenLocation(state_.settings.workFolder); });
    AddCommand(menu, kCmdEditIni, QStringLiteral("edit INI file"), [this] { OpenLocation(options_.configPath); });
    menu->addSeparator();
    AddCommand(menu, kCmdSystemInformation, QStringLiteral("System Information"),
               [this] { ShowSystemInformation(options_.systemReport); });
}

void MainWindow::OpenHelpPage(const char* name) { OpenLocation(state_.programFolder / name); }

// Files open in the desktop's application for their type, folders in its
// file manager.
void MainWindow::OpenLocation(const fs::path& path) {
    bool opened = false;
    if (!path.empty()) {
        opened = options_.openLocation ? options_.openLocation(path)
                                       : QDesktopServices::openUrl(QUrl::fromLocalFile(QStringFromPath(path)));
    }
    if (!opened) {
        ShowMessage("Cannot open " + Utf8FromQString(QStringFromPath(path)), "Trakvio", MessageButtons::kOk, kAnswerOk,
                    MessageIcon::kWarning);
    }
}

void MainWindow::ShowAbout() {
    std::error_code ec;
    fs::path current = fs::current_path(ec);
    std::string text = "Trakvio（跡帳） ver.1.04\n";
    char line[64];
    std::snprintf(line, sizeof line, "MaxPoints=%d\n", static_cast<int>(state_.store.maxlogpoints));
    text += line;
    std::snprintf(line, sizeof line, "MaxTracks=%d\n", static_cast<int>(state_.store.maxtracks));
    text += line;
    text += "Program folder= " + Utf8FromQString(QStringFromPath(state_.programFolder)) + "\n";
    text += "Current folder= " + Utf8FromQString(QStringFromPath(current));
    ShowMessage(text, "About Trakvio", MessageButtons::kOk, kAnswerOk, MessageIcon::kInformation);
}

}  // namespace trakvio
