#include <cstdio>

#include "cli_common.h"

namespace trakvio::cli {

int RunExportCommand(int, char**) {
    std::fprintf(stderr, "%s: export is not available yet\n", kProgram);
    return kExitUsage;
}

}  // namespace trakvio::cli
