// The MTK logger as a source of tracks: finding its port (asking the user to
// connect it), downloading its memory into the track store with a dump of
// the raw image in a folder, offering to copy that dump, and erasing it.
#pragma once

#include <filesystem>
#include <string>

#include "config/settings.h"
#include "devices/mtk_protocol.h"
#include "store/track_store.h"

namespace trakvio {

// The environment variable that names the logger's device path outright
// (for loggers the port search does not recognise); when set, no search is
// made.
inline constexpr const char* kMtkPortVariable = "TRAKVIO_MTK_PORT";

// The logger's port without asking: the path in kMtkPortVariable, else the
// first present port that matches mtkloggerdevidstr; empty when none.
std::string FindLogger(const Settings& settings);

// Searches until the logger's port is found, asking the user to connect the
// logger after each miss; empty when the user cancels.
std::string LocateLogger(const Settings& settings);

// Downloads the logger on port into the store (appending one enabled point
// per record) and writes the image to saveFolder as "YYYYMMDD_hhmmss.bin"
// after the local time of the first record (no dump when saveFolder is
// empty); dumpPath receives its path. Shows the progress in the status text
// and failures in a message. Returns kReaderDone, kReaderCut (the point
// capacity was reached; points up to it stay) or kReaderCannotOpen (nothing
// loaded: transfer failure or an empty logger).
int DownloadMtkLogger(TrackStore& store, Settings& settings, const std::string& port,
                      const std::filesystem::path& saveFolder, std::filesystem::path& dumpPath,
                      const MtkDownloadOptions& options = {});

// Name of the dump of an image whose first record has time t (UTC seconds).
std::string MtkDumpName(int64_t t);

// The save dialog that offers to copy a dump: given the seed path, returns
// the chosen path or an empty one. Windows install one; without one no copy
// is offered.
using DumpSaveChooser = std::filesystem::path (*)(void* context, const std::filesystem::path& seed);
void SetDumpSaveChooser(DumpSaveChooser chooser, void* context);

// Offers to copy dump elsewhere (seeded with the last used dump name); the
// copy replaces an existing file, and ".bin" is added to a chosen name
// without any '.'. Returns true when a copy was written.
bool OfferDumpCopy(Settings& settings, const std::filesystem::path& dump);

}  // namespace trakvio
