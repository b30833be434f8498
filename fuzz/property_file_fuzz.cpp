// Track property file replay: any text over a small store that already holds
// one track, with a folder holding one GPX log the text may name. Afterwards
// the store must keep its invariants: counts within the capacities, one name
// per track, spans in order and covering the points, files from the folder.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "archive/property_file.h"
#include "fuzz_support.h"
#include "platform/messages.h"

namespace {

int Quiet(void*, std::string_view, std::string_view, trakvio::MessageButtons, int defaultAnswer, trakvio::MessageIcon) {
    return defaultAnswer;
}

const std::filesystem::path& Folder() {
    static const std::filesystem::path folder =
        [] {
            char pattern[] = "/tmp/trakvio-property-fuzz-XXXXXX";
            std::filesystem::path made = mkdtemp(pattern) ? pattern : "/tmp";
            std::ofstream(made / "a.gpx")
                << "<gpx><trk><name>t1</name><trkseg><trkpt lat=\"35\" lon=\"139\"><time>2023-01-01T00:00:00Z</time>"
                   "</trkpt><trkpt lat=\"35.1\" lon=\"139.1\"><time>2023-01-01T00:01:00Z</time></trkpt></trkseg></trk>"
                   "<trk><trkseg><trkpt lat=\"36\" lon=\"140\"/><trkpt lat=\"36.1\" lon=\"140\"/>"
                   "<trkpt lat=\"36.2\" lon=\"140\"/></trkseg></trk></gpx>\n";
            return made;
        }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using trakvio::fuzz::Check;
    trakvio::SetMessageHandler(&Quiet, nullptr);
    static trakvio::Settings settings;
    trakvio::TrackStore& store = trakvio::fuzz::SmallStore(40, 6);
    trakvio::fuzz::StartWithOneTrack(store);
    trakvio::EnterLoadedFile(store, "before.gpx", 0);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    trakvio::ApplyPropertyText(store, settings, text, Folder(), store.pointCount, store.trackCount);

    Check(store.pointCount >= 2 && store.pointCount <= store.maxlogpoints);
    Check(store.trackCount >= 1 && store.trackCount <= store.maxtracks);
    Check(trakvio::StoredNameCount(store) == store.trackCount);
    Check(store.fileCount == static_cast<int32_t>(store.loadedFiles.size()));
    int32_t before = -1;
    for (int32_t t = 0; t < store.trackCount; ++t) {
        Check(store.trackEnd[t] >= before && store.trackEnd[t] < store.pointCount);
        Check(store.tracks[t].fileIndex >= 0 && store.tracks[t].fileIndex < store.fileCount);
        before = store.trackEnd[t];
    }
    Check(store.trackEnd[store.trackCount - 1] == store.pointCount - 1);
    for (int32_t f = 1; f < store.fileCount; ++f) Check(store.loadedFiles[f].parent_path() == Folder());
    return 0;
}
