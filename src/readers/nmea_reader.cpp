#include "readers/nmea_reader.h"

namespace trakvio {

int ReadNmea(TrackStore&, const std::filesystem::path&) { return kReaderUnsupported; }

}  // namespace trakvio
