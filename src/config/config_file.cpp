#include "config/config_file.h"

namespace trakvio {

int LocateConfiguration(const std::filesystem::path&, const std::filesystem::path&, std::filesystem::path&) { return 1; }
int CreateConfigurationFromTemplate(const std::filesystem::path&, const std::filesystem::path&,
                                    const std::filesystem::path&) {
    return 1;
}
int ReadConfiguration(const std::filesystem::path&, Settings&) { return 1; }
void ReadConfigurationText(std::string_view, Settings&) {}
int WriteBackConfiguration(const std::filesystem::path&, const Settings&) { return 1; }
int64_t ParseDateTime(std::string_view) { return 0; }
void SetKmlTimeDefault(std::string_view, Settings&) {}

}  // namespace trakvio
