// Placeholder until the system information report is built.
#include "app/system_info.h"

namespace trakvio {

std::string GatherSystemInformation(const std::filesystem::path&) { return {}; }
void ShowSystemInformation(const std::string&) {}

}  // namespace trakvio
