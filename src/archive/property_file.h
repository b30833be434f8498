// Track property file (.q9t): the small UTF-8 text that a track archive keeps
// beside the logs it holds. It lists the files (read or only entered), then
// one line per track with its last point, width, colour and name, then the
// runs of deleted points:
//
//   <fr>walk.gpx
//   <fi>bike.bin,MTK-BIN
//   <tp>1,.,120<tw>1,3<tc>1,FF0000<tt>1,"Morning"
//   <pd>3,10-12
//
// Reading replays it: the files are loaded from the archive's folder through
// the loader, then the records set the boundaries, widths, colours and names
// of the tracks and delete the listed points, counting from the first track
// and point the archive's files were loaded into. Records that name a track
// or point outside the store, or a file outside the folder, are skipped.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "store/track_store.h"

namespace trakvio {

// The kind name written behind a file name (",GPX" and so on) for a
// fileKinds entry; empty for 0 and unknown kinds.
std::string_view PropertyKindSuffix(uint16_t kindEntry);

// The whole property text of the store.
std::string PropertyFileText(const TrackStore& store);

// Writes PropertyFileText to path. Returns 0, or -1 when the file cannot be
// created or written.
int WritePropertyFile(const TrackStore& store, const std::filesystem::path& path);

// Takes the next token of a property text from pos on. A token ends at ',',
// '<' or '>' (cut out and returned as delimiter) or at the end of the text
// (delimiter '\0'); carriage returns and line feeds are dropped; a double
// quote starts a run that ends at the next double quote, both quotes cut out.
// Returns false at the end of the text and when a quote has no partner
// (which ends the text).
bool NextPropertyToken(std::string_view text, size_t& pos, std::string& token, char& delimiter);

// Replays a property text over the store (see above). folder holds the files
// the text names; firstPoint and firstTrack are the pointCount and
// trackCount from before the archive was opened. A file that is itself an
// archive is entered unread (and reported). Returns the number of files named
// for reading that could not be loaded.
int ApplyPropertyText(TrackStore& store, Settings& settings, std::string_view text, const std::filesystem::path& folder,
                      int32_t firstPoint, int32_t firstTrack);

// Results of ReadPropertyFile.
enum PropertyFileResult : int {
    kPropertyFileReplayed = 0,
    kPropertyFileUnreadable = 1,    // the property file cannot be read; nothing happened
    kPropertyFileMemberFailed = 2,  // replayed, but a file it names for reading could not be loaded
};

// Reads the property file at path and replays it.
PropertyFileResult ReadPropertyFile(TrackStore& store, Settings& settings, const std::filesystem::path& path,
                                    const std::filesystem::path& folder, int32_t firstPoint, int32_t firstTrack);

}  // namespace trakvio
