// Results shared by the log readers (the GPX, KML, NMEA, MTK and CSV text
// readers and the logger download); the load dispatcher turns them into its
// load results and messages.
#pragma once

namespace trakvio {

enum ReaderResult : int {
    kReaderDone = 0,
    kReaderCannotOpen = 1,   // nothing was read
    kReaderCut = 2,          // a capacity was reached; the file was read up to it
    kReaderUnsupported = 3,  // this build has no reader for the kind
    kReaderNoDocument = 4,   // the file holds no document of the kind (empty, junk); nothing was read
};

}  // namespace trakvio
