// Fuzz target of the configuration reader: any bytes, read as configuration
// text into fresh settings. The current directory is never changed (a
// currentfolder line is only recorded), so junk paths stay harmless.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/config_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    trakvio::Settings settings;
    trakvio::ReadConfigurationText(std::string_view(reinterpret_cast<const char*>(data), size), settings);
    // Touch what was built so the reader's output is used.
    size_t total = settings.baseMaps.size() + settings.overlayMaps.size();
    for (const auto& map : settings.baseMaps) {
        total += map.urlFormat.size() + map.attribution.size();
        for (int k = 0; k < map.linkCount; ++k) {
            if (map.links[k].linkStart + map.links[k].linkLength > static_cast<int32_t>(map.attribution.size())) {
                __builtin_trap();  // a link must lie inside its display text
            }
        }
    }
    return total == SIZE_MAX ? 1 : 0;
}
