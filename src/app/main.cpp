// Process entry of the desktop program.
#include <QApplication>
#include <cstdlib>

#include "app/desktop_startup.h"

int main(int argc, char** argv) {
    trakvio::DesktopOptions options;
    if (int status = trakvio::ParseDesktopArguments(argc, argv, options); status != 0) return status;
    // Screenshots work without a display, on Qt's offscreen platform.
    if (options.screenshot) trakvio::InstallQuietQtMessages();
    if (options.screenshot && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    return trakvio::RunDesktop(app, options);
}
