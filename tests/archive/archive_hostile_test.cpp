// Archives under hostile input: the archive and the members of an open in
// progress are never destroyed, one open extracts a bounded total, and an
// open that loaded nothing or lost a member says so in its result.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "archive/archive_fixtures.h"
#include "archive/load_front_end.h"
#include "archive/track_archive.h"
#include "archive/zip_builder.h"
#include "archive/zip_files.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ScratchFolder;
using test::WriteFile;

// The bytes of a zip with no entries: libzip opens it, the content test does
// not take it for an archive.
const std::string kEmptyZip = std::string("PK\x05\x06", 4) + std::string(18, '\0');

TEST(ArchiveDataKept, AnArchiveInTheExtractionFolderIsNotReplacedByItsMember) {
    test::ArchiveScene scene;
    auto& [scratch, settings, store] = scene;
    const fs::path folder = settings.workFolder / "q9zdir";
    fs::create_directories(folder);
    const fs::path archive = folder / "logs.zip";
    ASSERT_TRUE(test::BuildZip(archive, {{"logs.zip", "member of the archive's own name"},
                                         {"walk.gpx", test::GpxTrack(4, 35, test::kSetStart, "Walk")}}));
    const std::string before = ReadFile(archive);
    test::MessageCatcher messages;
    EXPECT_EQ(OpenArchive(store, settings, archive), kArchiveIncomplete);
    EXPECT_EQ(ReadFile(archive), before);
    EXPECT_EQ(store.pointCount, 4);
    EXPECT_TRUE(messages.Saw("logs.zip: has the name of the archive being read"));
}

TEST(ArchiveDataKept, ANestedArchiveInThePropertyFileLeavesTheOtherMembersAlone) {
    test::ArchiveScene scene;
    auto& [scratch, settings, store] = scene;
    ASSERT_TRUE(test::BuildZip(scratch / "set.q9z", {{"set.q9t", "<fr>inner.q9z\n<fr>walk.gpx\n<fr>ride.gpx\n"},
                                                     {"inner.q9z", kEmptyZip},
                                                     {"walk.gpx", test::GpxTrack(4, 35, test::kSetStart, "Walk")},
                                                     {"ride.gpx", test::GpxTrack(3, 36, test::kSetStart, "Ride")}}));
    test::MessageCatcher messages;
    EXPECT_EQ(OpenArchive(store, settings, scratch / "set.q9z"), kArchiveOpened);
    EXPECT_EQ(store.pointCount, 7);
    EXPECT_EQ(store.trackCount, 2);
    ASSERT_EQ(store.fileCount, 3);
    EXPECT_EQ(store.fileKinds[0] & kKindNotRead, kKindNotRead);
    EXPECT_TRUE(fs::exists(settings.workFolder / "q9zdir" / "walk.gpx"));
    EXPECT_TRUE(messages.Saw("An archive inside an archive is not opened"));
    EXPECT_TRUE(messages.Saw((settings.workFolder / "q9zdir" / "inner.q9z").string()));
}

TEST(ArchiveResourceLimits, OneOpenExtractsABoundedTotal) {
    test::ArchiveScene scene;
    auto& [scratch, settings, store] = scene;
    // Two entries of 40 MiB of zeros deflate to a few hundred kilobytes: far
    // more than a hundred times the archive, and past the allowance.
    const std::string zeros(40u << 20, '\0');
    ASSERT_TRUE(test::BuildZip(scratch / "bomb.zip", {{"a.nmea", zeros}, {"b.nmea", zeros}, {"c.nmea", "x"}}));
    ASSERT_LT(fs::file_size(scratch / "bomb.zip"), kArchiveExpansionAllowance / kMaxArchiveExpansion);
    std::vector<std::string> names;
    std::vector<SkippedEntry> skipped;
    ASSERT_EQ(ExtractArchive(scratch / "bomb.zip", scratch / "out", names, &skipped), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"a.nmea"}));
    ASSERT_EQ(skipped.size(), 1u);  // extraction stops at the entry past the limit
    EXPECT_EQ(skipped[0].name, "b.nmea");
    EXPECT_NE(skipped[0].reason.find("extraction limit"), std::string::npos);
    uintmax_t total = 0;
    for (const auto& entry : fs::directory_iterator(scratch / "out")) total += entry.file_size();
    EXPECT_LE(total, kArchiveExpansionAllowance);

    // Through the archive reader: a failed open, reported, and what fit stays.
    test::MessageCatcher messages;
    EXPECT_EQ(OpenArchive(store, settings, scratch / "bomb.zip"), kArchiveIncomplete);
    EXPECT_TRUE(messages.Saw("b.nmea: would take the archive past its extraction limit"));
    EXPECT_FALSE(fs::exists(settings.workFolder / "q9zdir" / "b.nmea"));
}

TEST(ArchiveFailuresReported, MembersThatFailAndArchivesWithoutLogsGiveAFailedResult) {
    test::ArchiveScene scene;
    auto& [scratch, settings, store] = scene;
    test::MessageCatcher messages;

    // A stored member whose bytes no longer match its CRC.
    const std::string good = test::GpxTrack(3, 35, test::kSetStart, "");
    ASSERT_TRUE(test::BuildZip(scratch / "crc.zip", {{"good.gpx", good}, {"bad.gpx", good, 0, true}}));
    std::string bytes = ReadFile(scratch / "crc.zip");
    const size_t at = bytes.rfind("<trkpt");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 1] = 'X';
    WriteFile(scratch / "crc.zip", bytes);
    EXPECT_EQ(OpenArchive(store, settings, scratch / "crc.zip"), kArchiveIncomplete);
    EXPECT_EQ(store.pointCount, 3);  // the good member stays loaded

    // A member the loader cannot read.
    ASSERT_TRUE(test::BuildZip(scratch / "poi.itm", {{"broken.poi", "not a database"}}));
    EXPECT_EQ(OpenArchive(store, settings, scratch / "poi.itm"), kArchiveIncomplete);
    // A property file naming a member that is not there.
    ASSERT_TRUE(test::BuildZip(scratch / "set.q9z", {{"set.q9t", "<fr>gone.gpx\n"}}));
    EXPECT_EQ(OpenArchive(store, settings, scratch / "set.q9z"), kArchiveIncomplete);
    EXPECT_EQ(store.pointCount, 3);

    // The front end passes the failure on, for a zip under any name; the
    // dispatcher alone opens no archive and enters nothing.
    EXPECT_EQ(LoadLogFile(store, settings, scratch / "set.q9z"), kLoadReaderError);
    const int32_t files = store.fileCount;
    EXPECT_EQ(ReadLogFile(store, settings, scratch / "crc.zip", {}, 1), kLoadIsArchive);
    EXPECT_EQ(store.fileCount, files);
}

TEST(ArchiveResourceLimits, DevicesAndPipesAreRefusedBeforeReading) {
    test::ArchiveScene scene;
    auto& [scratch, settings, store] = scene;
    fs::create_symlink("/dev/zero", scratch / "zero.nmea");
    fs::create_symlink("/dev/zero", scratch / "zero.q9z");
    ASSERT_EQ(::mkfifo((scratch / "pipe").c_str(), 0600), 0);
    test::MessageCatcher messages;
    for (const char* name : {"zero.nmea", "zero.q9z", "pipe"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(LoadLogFile(store, settings, scratch / name), kLoadReaderError);
        EXPECT_TRUE(messages.Saw("not a regular file"));
        EXPECT_TRUE(messages.Saw((scratch / name).string()));
    }
    EXPECT_EQ(store.fileCount, 0);
    EXPECT_EQ(DetectKindByContent(scratch / "pipe"), kKindUnreadable);
}

}  // namespace
}  // namespace trakvio
