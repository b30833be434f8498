// trakvio-cli over track archives: info opens a .q9z through the archive
// reader and shows the set as it was saved; an archive that loads nothing, or
// loses a member, is a failed load.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "archive/archive_fixtures.h"
#include "archive/zip_builder.h"
#include "cli_run.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

using CliArchive = test::CliTest;

TEST_F(CliArchive, InfoShowsASavedSetAndFailedOpensExitWith3) {
    test::ScopedTimeZone tz("UTC");
    test::ScratchFolder make;
    Settings settings = test::ArchiveSettings(make.path());
    TrackStore saved;
    ASSERT_TRUE(test::BuildEditedSet(saved, settings, make.path()));
    ASSERT_EQ(SaveArchive(saved, settings, Work("set.q9z")), 0);
    test::WriteFile(Work("test.ini"), "maxlogpoints=1000\n");
    const auto info = [&](const char* file, std::string* out, std::string* err) {
        return Run(std::string("info --json --ini test.ini ") + file, out, err);
    };

    std::string out, err;
    ASSERT_EQ(info("set.q9z", &out, &err), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_NE(out.find("\"pointCount\":21,\"trackCount\":3,\"fileCount\":2,"), std::string::npos) << out;
    const std::string names[] = {"\"name\":\"Walk\",\"color\":\"123456\",\"lineWidth\":7,",
                                 "\"name\":\"Walk, part 2 <東京>\",", "\"name\":\"Ride\",\"color\":\"ABCDEF\","};
    size_t at = 0;
    for (const std::string& name : names) {
        at = out.find(name, at);
        EXPECT_NE(at, std::string::npos) << name << "\n" << out;
    }
    // The logs were extracted into the per-user work folder and listed from there.
    const fs::path extracted = scratch_ / "data" / "Trakvio" / "q9work" / "q9zdir";
    EXPECT_NE(out.find("\"path\":\"" + (extracted / "a.gpx").string() + "\""), std::string::npos) << out;

    ASSERT_TRUE(test::BuildZip(Work("notes.zip"), {{"notes.txt", "nothing"}}));
    ASSERT_TRUE(test::BuildZip(Work("part.zip"),
                               {{"walk.gpx", test::GpxTrack(3, 35, test::kSetStart, "")}, {"../evil.gpx", "x"}}));
    EXPECT_EQ(info("notes.zip", &out, &err), 3);
    EXPECT_NE(err.find("notes.zip"), std::string::npos) << err;
    EXPECT_EQ(info("part.zip", &out, &err), 3);
    EXPECT_NE(err.find("../evil.gpx"), std::string::npos) << err;
    EXPECT_NE(out.find("\"pointCount\":3,"), std::string::npos) << out;  // what loaded is still listed
}

}  // namespace
}  // namespace trakvio
