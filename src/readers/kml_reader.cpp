#include "readers/kml_reader.h"

namespace trakvio {

int ReadKml(TrackStore&, const std::filesystem::path&, int32_t, int64_t, int32_t) { return kReaderUnsupported; }

}  // namespace trakvio
