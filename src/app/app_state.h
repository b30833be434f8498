// Application state of the desktop program: the track store, the settings the
// configuration file gave, and the run-time flags of the main window. One
// AppState is created at start and lives until the process ends; every window
// gets it by reference, so nothing of it is a global.
#pragma once

#include <filesystem>

#include "config/settings.h"
#include "store/track_store.h"

namespace trakvio {

struct AppState {
    TrackStore store;
    Settings settings;

    // The folder the program and its companion files (_Trakvio.ini template,
    // help pages) live in.
    std::filesystem::path programFolder;

    // Run-time flags of the main window. None is written to the
    // configuration file.
    bool capturing = false;        // a live receiver capture runs
    bool firstFixPending = false;  // the capture's first fix has not arrived yet
    bool dataLoaded = false;       // something was loaded since the last clear
    bool mapHasContent = false;    // the map shows loaded data
    bool graphShown = false;       // the graph window is shown
    bool trackListShown = false;   // the track list window is shown
    bool dotDrawing = false;       // points are drawn as dots too
};

}  // namespace trakvio
