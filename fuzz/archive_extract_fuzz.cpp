// Extraction over mutated zip files: whatever the archive holds, only plain
// file names are written, all inside the destination folder, each complete,
// and no temporary file is left behind.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "archive/zip_files.h"
#include "fuzz_support.h"

namespace {

const std::filesystem::path& Root() {
    static const std::filesystem::path root = [] {
        char pattern[] = "/tmp/trakvio-extract-fuzz-XXXXXX";
        return std::filesystem::path(mkdtemp(pattern) ? pattern : "/tmp/trakvio-extract-fuzz");
    }();
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using trakvio::fuzz::Check;
    const std::filesystem::path out = Root() / "out";
    std::vector<std::string> names;
    std::vector<trakvio::SkippedEntry> skipped;
    trakvio::ExtractArchiveFromMemory(data, size, out, names, &skipped, 1 << 20);

    std::vector<std::string> written;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(out, ec)) {
        Check(entry.is_regular_file());
        written.push_back(entry.path().filename().string());
    }
    for (const auto& entry : std::filesystem::directory_iterator(Root(), ec)) Check(entry.path() == out);
    for (const std::string& name : names) Check(trakvio::IsSafeEntryName(name));
    std::vector<std::string> listed = names;
    std::sort(listed.begin(), listed.end());
    std::sort(written.begin(), written.end());
    Check(listed == written);
    for (const std::string& name : written) std::filesystem::remove(out / name, ec);
    return 0;
}
