// Feeds arbitrary bytes, cut into pieces at places the input chooses, to the
// two parsers of device input: the MTK logger's reply scanner and the GPS
// receiver's sentence pairer. The image never grows faster than the hex text
// allows, the store never past its capacity, and every captured point lies
// on the globe.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "devices/mtk_protocol.h"
#include "devices/receiver_capture.h"
#include "fuzz_support.h"

using namespace trakvio;

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t piece = 1 + data[0] % 97;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    std::vector<uint8_t> image;
    MtkReplyScanner scanner(image);
    scanner.StartRequest();
    for (size_t at = 0; at < text.size(); at += piece) scanner.Feed(text.substr(at, piece));
    Check(image.size() <= text.size() + 2 * kMtkSentenceSize);
    Check(scanner.code() == kMtkDone || scanner.code() == kMtkUnexpectedAddress);

    TrackStore& store = fuzz::SmallStore(16, 2);
    ClearTrackStore(store);
    ReceiverSettings receiver;
    receiver.bufferSize = 128;
    receiver.sentenceLength = 96;
    CaptureCallbacks callbacks;
    FixPairer pairer(store, nullptr, receiver, nullptr, callbacks);
    for (size_t at = 0; at < text.size();) {
        size_t n = std::min({piece, pairer.Room(), text.size() - at});
        Check(n > 0);
        pairer.Feed(text.data() + at, n);
        at += n;
    }
    Check(store.pointCount <= store.maxlogpoints);
    for (int32_t i = 0; i < store.pointCount; ++i) {
        const LogPoint& p = store.points[i];
        Check(std::fabs(p.latitude) <= 90 && std::fabs(p.longitude) <= 180);
    }
    return 0;
}
