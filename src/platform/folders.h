// Folders the program lives with: the per-user data folder, the program's own
// folder, the user's documents folder, and the folder-browse question (which
// takes the default when no window is there to ask).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace trakvio {

// The longest path the program takes (from the configuration, a script or a
// batch), in UTF-16 units.
inline constexpr size_t kMaxPathUnits = 259;

// $XDG_DATA_HOME/Trakvio, or ~/.local/share/Trakvio when XDG_DATA_HOME is not
// set to an absolute path. Not created here.
std::filesystem::path UserDataFolder();

// The folder of the running executable.
std::filesystem::path ProgramFolder();

// The user's documents folder: XDG_DOCUMENTS_DIR, else ~/Documents when it
// exists, else the home folder.
std::filesystem::path DocumentsFolder();

// Asks the user for a folder, starting at initial. Returns the chosen folder,
// or an empty path when the user cancels (and always without a window).
std::filesystem::path BrowseForFolder(std::string_view prompt, const std::filesystem::path& initial);

using FolderBrowser = std::filesystem::path (*)(void* context, std::string_view prompt,
                                                const std::filesystem::path& initial);
// Installs the window system's folder browser (nullptr: none, always cancel).
void SetFolderBrowser(FolderBrowser browser, void* context);

}  // namespace trakvio
