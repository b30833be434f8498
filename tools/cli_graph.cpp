#include <cstdio>

#include "cli_common.h"

namespace trakvio::cli {

int RunGraphCommand(int, char**) {
    std::fprintf(stderr, "%s: graph is not available yet\n", kProgram);
    return kExitUsage;
}

}  // namespace trakvio::cli
