// Character set of zip entry names: any bytes give one of the known answers,
// decode to valid UTF-8, and make an entry name that extraction accepts.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "archive/charset_detect.h"
#include "archive/zip_files.h"
#include "fuzz_support.h"
#include "platform/utf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using trakvio::fuzz::Check;
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const int charset = trakvio::DetectCharset(raw);
    Check(charset == trakvio::kCharsetUnknown || charset == trakvio::kCharsetAscii ||
          charset == trakvio::kCharsetShiftJis || charset == trakvio::kCharsetEucJp ||
          charset == trakvio::kCharsetUtf8 || charset == trakvio::kCharsetIso2022Jp ||
          charset == trakvio::kCharsetUtf16Le || charset == trakvio::kCharsetUtf16Be);

    const std::string decoded = trakvio::DecodeEntryName(raw);
    Check(trakvio::Utf16ToUtf8(trakvio::Utf8ToUtf16(decoded)) == decoded);
    if (charset == trakvio::kCharsetAscii) Check(decoded == raw);

    std::string withoutNul = decoded;
    std::erase(withoutNul, '\0');
    Check(trakvio::IsSafeEntryName(trakvio::ArchiveEntryName(std::filesystem::path(withoutNul))));
    trakvio::MatchesFilePattern(raw.substr(0, size / 2), raw.substr(size / 2));
    return 0;
}
