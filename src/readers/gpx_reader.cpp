#include "readers/gpx_reader.h"

namespace trakvio {

int ReadGpx(TrackStore&, const std::filesystem::path&, int32_t) { return kGpxCannotOpen; }
int ReadGpxBuffer(TrackStore&, const char*, size_t, int32_t) { return kGpxDone; }

}  // namespace trakvio
