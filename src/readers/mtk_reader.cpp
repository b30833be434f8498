#include "readers/mtk_reader.h"

namespace trakvio {

int ReadMtkBinary(TrackStore&, const std::filesystem::path&) { return kReaderUnsupported; }

}  // namespace trakvio
