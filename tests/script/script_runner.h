// A script run in a scratch folder for the script and batch tests: the
// script file is written there and run against its own settings and store.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "script/script_run.h"
#include "script/script_text.h"
#include "test_support.h"

namespace trakvio::test {

struct ScriptRunner {
    ScratchFolder folder;
    Settings settings;
    TrackStore store;
    std::filesystem::path previous = std::filesystem::current_path();

    ScriptRunner() {
        CreateTrackStore(store, 20000, 50);
        settings.workFolder = folder / "work";
        settings.userFolder = folder / "user";
        std::filesystem::create_directories(settings.workFolder);
    }
    // Runs text as the script file job.q9s; the result of RunScript.
    int Run(const std::string& text) {
        WriteFile(folder / "job.q9s", text);
        return RunScript(folder / "job.q9s", settings, store);
    }
    // Runs the lines of text one by one and gives back the script state.
    ScriptState Execute(const std::string& text) {
        std::vector<std::string> problems;
        ScriptState state;
        for (const ScriptLine& line : ParseScript(text, problems)) {
            if (!ExecuteScriptLine(line, state, settings, store)) break;
        }
        return state;
    }
};

}  // namespace trakvio::test
