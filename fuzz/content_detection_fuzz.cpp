// Kind detection from the first bytes of a file and from names: any bytes,
// any name, a kind code out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <string>

#include "readers/log_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int kind = trakvio::DetectKindFromBytes(data, size);
    if (kind < 0 || kind > trakvio::kKindMtkDownloadSave) std::abort();
    std::string text(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    trakvio::KindFromExtension(std::filesystem::path(text));
    trakvio::KindFromForcedName(text);
    return 0;
}
