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

// Runs trakvio-cli with arguments from folder, its user data kept under folder/data; the exit status, with stdout
// and stderr in out and err.
inline int RunCli(const std::filesystem::path& folder, const std::string& arguments, std::string* out,
                  std::string* err) {
    return RunCommand("cd " + ShellQuote(folder.string()) + " && env XDG_DATA_HOME=" +
                          ShellQuote((folder / "data").string()) + " " + ShellQuote(TRAKVIO_CLI_PATH) + " " + arguments,
                      out, err);
}

// Runs script through trakvio-cli from folder with the shipped configuration template.
inline int RunWithShippedIni(const std::filesystem::path& folder, const std::filesystem::path& script, std::string* out,
                             std::string* err) {
    const std::filesystem::path ini = SourceDir() / "data" / "_Trakvio.ini";
    return RunCli(folder, "run --ini " + ShellQuote(ini.string()) + " " + ShellQuote(script.string()), out, err);
}

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
