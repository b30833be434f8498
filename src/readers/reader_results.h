// Results shared by the log readers.
#pragma once

namespace trakvio {

inline constexpr int kReaderDone = 0;
inline constexpr int kReaderCannotOpen = 1;  // nothing was read
inline constexpr int kReaderCut = 2;         // a capacity was reached; the file was read up to it
inline constexpr int kReaderUnsupported = 3; // this build has no reader for the kind

}  // namespace trakvio
