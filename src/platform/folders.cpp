#include "platform/folders.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace trakvio {

namespace {
FolderBrowser gBrowser = nullptr;
void* gBrowserContext = nullptr;

std::filesystem::path HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    return "/";
}
}  // namespace

std::filesystem::path UserDataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        base = HomeFolder() / ".local" / "share";
    }
    return base / "Trakvio";
}

std::filesystem::path ProgramFolder() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return std::filesystem::current_path(ec);
    return exe.parent_path();
}

std::filesystem::path DocumentsFolder() {
    std::error_code ec;
    if (const char* xdg = std::getenv("XDG_DOCUMENTS_DIR"); xdg && xdg[0] == '/') {
        if (std::filesystem::is_directory(xdg, ec)) return xdg;
    }
    std::filesystem::path documents = HomeFolder() / "Documents";
    if (std::filesystem::is_directory(documents, ec)) return documents;
    return HomeFolder();
}

std::filesystem::path BrowseForFolder(std::string_view prompt, const std::filesystem::path& initial) {
    if (gBrowser) return gBrowser(gBrowserContext, prompt, initial);
    return {};
}

void SetFolderBrowser(FolderBrowser browser, void* context) {
    gBrowser = browser;
    gBrowserContext = context;
}

}  // namespace trakvio
