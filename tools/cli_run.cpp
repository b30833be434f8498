// trakvio-cli run SCRIPT: runs a batch script headless, as the program does
// from its menu. Status texts and messages go to stderr.
#include <cstdio>
#include <string_view>

#include "cli_common.h"
#include "script/script_run.h"

namespace trakvio::cli {

int RunScriptCommand(int argc, char** argv) {
    bool hasIni = false;
    std::filesystem::path ini;
    std::filesystem::path script;
    for (int i = 2; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--ini" && i + 1 < argc) {
            hasIni = true;
            ini = Absolute(argv[++i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "%s: unknown option '%s'\nusage: trakvio-cli run [--ini FILE] SCRIPT.q9s\n", kProgram,
                         argv[i]);
            return kExitUsage;
        } else if (script.empty()) {
            script = Absolute(std::filesystem::path(std::string(arg)));
        } else {
            std::fprintf(stderr, "%s: run takes one script\nusage: trakvio-cli run [--ini FILE] SCRIPT.q9s\n", kProgram);
            return kExitUsage;
        }
    }
    if (script.empty()) {
        std::fprintf(stderr, "%s: no script given\nusage: trakvio-cli run [--ini FILE] SCRIPT.q9s\n", kProgram);
        return kExitUsage;
    }
    Settings settings;
    if (int status = ReadCliSettings(hasIni, ini, settings); status != 0) return status;
    TrackStore store;
    if (int status = SetUpCliStore(store, settings); status != 0) return status;
    settings.scriptFile = script;
    const ScriptResult result = RunScript(script, settings, store);
    if (result == kScriptUnreadable) {
        PrintFileProblem(script, "cannot read the script");
        return kExitFailure;
    }
    if (result == kScriptOutputFailed) {
        PrintFileProblem(script, "ran, but outputs could not be written (see the messages above)");
        return kExitFailure;
    }
    return 0;
}

}  // namespace trakvio::cli
