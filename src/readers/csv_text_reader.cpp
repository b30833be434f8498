#include "readers/csv_text_reader.h"

namespace trakvio {

int ReadCsvText(TrackStore&, const std::filesystem::path&) { return kReaderUnsupported; }

}  // namespace trakvio
