#include "readers/log_loader.h"

namespace trakvio {

int LoadLogFile(TrackStore&, Settings&, const std::filesystem::path&) { return kLoadUnknownKind; }
int ReadLogFile(TrackStore&, Settings&, const std::filesystem::path&, std::string_view, int) {
    return kLoadUnknownKind;
}
int KindFromForcedName(std::string_view) { return 0; }
int KindFromExtension(const std::filesystem::path&) { return 0; }
int DetectKindFromBytes(const unsigned char*, size_t) { return 0; }
int DetectKindByContent(const std::filesystem::path&) { return kKindUnreadable; }

}  // namespace trakvio
