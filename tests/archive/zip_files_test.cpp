// Zip helpers: extraction of hostile, broken and oversized entries, the three
// input forms of making an archive, entry names, and archiving a folder.
#include "archive/zip_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/zip_builder.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ScratchFolder;
using test::WriteFile;
using test::ZipEntry;

// Every file below folder, as paths relative to it, sorted.
std::vector<std::string> FilesBelow(const fs::path& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        files.push_back(entry.path().lexically_relative(folder).generic_string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> SkippedNames(const std::vector<SkippedEntry>& skipped) {
    std::vector<std::string> names;
    for (const SkippedEntry& entry : skipped) names.push_back(entry.name + ": " + entry.reason);
    return names;
}

TEST(ZipExtract, HostileNamesNeverLeaveTheFolderAndFolderMembersAreLeftOut) {
    ScratchFolder scratch;
    const fs::path zip = scratch / "hostile.zip";
    const std::string hostile[] = {
        "../evil.txt",  "/tmp/absolute.txt", "sub/../../evil2.txt", "..", ".", "back\\slash.txt",
        "bell\x07.txt", "line\nfeed.txt",    std::string(300, 'x')};
    std::vector<ZipEntry> entries = {{"folder/", ""},
                                     {"folder/inner.gpx", "inner"},
                                     {"  padded.gpx  ", "padded"},
                                     {"ok.gpx", "first"},
                                     {"Ok.gpx", "second"}};
    std::vector<std::string> skippedNames;
    for (const std::string& name : hostile) {
        entries.push_back({name, "climb"});
        skippedNames.push_back(name + ": has a name that is not a plain file name");
    }
    ASSERT_TRUE(test::BuildZip(zip, entries));
    // libzip refuses two entries of one name; give the second the first's name afterwards.
    std::string bytes = ReadFile(zip);
    for (size_t at = bytes.find("Ok.gpx"); at != std::string::npos; at = bytes.find("Ok.gpx", at)) bytes[at] = 'o';
    WriteFile(zip, bytes);
    const fs::path out = scratch / "out";
    std::vector<std::string> names;
    std::vector<SkippedEntry> skipped;
    ASSERT_EQ(ExtractArchive(zip, out, names, &skipped), 0);
    // Only the plain names, blanks trimmed, each once; the later entry wins.
    EXPECT_EQ(names, (std::vector<std::string>{"padded.gpx", "ok.gpx"}));
    EXPECT_EQ(FilesBelow(scratch.path()),
              (std::vector<std::string>{"hostile.zip", "out", "out/ok.gpx", "out/padded.gpx"}));
    EXPECT_EQ(ReadFile(out / "ok.gpx"), "second");
    EXPECT_EQ(SkippedNames(skipped), skippedNames);
    EXPECT_FALSE(fs::exists("/tmp/absolute.txt"));
}

TEST(ZipExtract, BrokenAndOversizedEntriesLeaveNoFileBehind) {
    ScratchFolder scratch;
    const fs::path zip = scratch / "broken.zip";
    const std::string payload = "PAYLOAD-" + std::string(200, 'p') + "-END";
    ASSERT_TRUE(test::BuildZip(zip, {{"good.gpx", "fine"},
                                     {"crc.gpx", payload, 0, true},
                                     {"big.gpx", std::string(5000, 'b')},
                                     {"after.gpx", "still read"}}));
    // Damage the stored bytes of crc.gpx: its CRC no longer matches.
    std::string bytes = ReadFile(zip);
    const size_t at = bytes.find("PAYLOAD-");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 20] = 'X';
    WriteFile(zip, bytes);

    const fs::path out = scratch / "out";
    fs::create_directory(out);
    WriteFile(out / "crc.gpx", "older file of that name");
    std::vector<std::string> names;
    std::vector<SkippedEntry> skipped;
    ASSERT_EQ(ExtractArchive(zip, out, names, &skipped, 1000), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"good.gpx", "after.gpx"}));
    EXPECT_EQ(SkippedNames(skipped), (std::vector<std::string>{"crc.gpx: does not inflate", "big.gpx: too large"}));
    // No temporary file left, and the file of the broken entry's name untouched.
    EXPECT_EQ(FilesBelow(out), (std::vector<std::string>{"after.gpx", "crc.gpx", "good.gpx"}));
    EXPECT_EQ(ReadFile(out / "crc.gpx"), "older file of that name");

    // The same bytes from memory; a file that is no zip at all.
    names.clear();
    skipped.clear();
    ASSERT_EQ(ExtractArchiveFromMemory(bytes.data(), bytes.size(), scratch / "mem", names, &skipped, 1000), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"good.gpx", "after.gpx"}));
    EXPECT_EQ(skipped.size(), 2u);
    WriteFile(scratch / "not.zip", "just text");
    EXPECT_EQ(ExtractArchive(scratch / "not.zip", out, names), ZIP_ER_NOZIP);
    EXPECT_EQ(ExtractArchive(scratch / "missing.zip", out, names), ZIP_ER_NOENT);
    EXPECT_EQ(ExtractArchiveFromMemory("PK\3\4", 4, out, names), ZIP_ER_NOZIP);
}

TEST(ZipExtract, FilesTakeTheEntryTimeAndShiftJisNamesAreDecoded) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    ScratchFolder scratch;
    const time_t when = 1683356890;  // 2023-05-06 07:08:10 UTC, an even second as DOS times need
    ASSERT_TRUE(test::BuildZip(scratch / "names.zip", {{"\x93\x8C\x8B\x9E.gpx", "sjis", when},
                                                       {"\xE5\xA4\xA7\xE9\x98\xAA.gpx", "utf8", when}}));
    std::vector<std::string> names;
    ASSERT_EQ(ExtractArchive(scratch / "names.zip", scratch / "out", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"\xE6\x9D\xB1\xE4\xBA\xAC.gpx", "\xE5\xA4\xA7\xE9\x98\xAA.gpx"}));
    struct stat info {};
    ASSERT_EQ(::stat((scratch / "out" / names[0]).c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, when);
    EXPECT_EQ(info.st_atim.tv_sec, when);
    EXPECT_EQ(ReadFile(scratch / "out" / names[0]), "sjis");
}

TEST(ZipMake, ThreeInputFormsAndFailureBits) {
    ScratchFolder scratch;
    fs::create_directory(scratch / "in");
    WriteFile(scratch / "in" / "a.gpx", "A");
    WriteFile(scratch / "in" / "b.nmea", "B");
    WriteFile(scratch / "other.kml", "K");
    const fs::path zip = scratch / "out.zip";

    // Full paths with an empty folder; a later name replaces an earlier one.
    WriteFile(scratch / "a.gpx", "A2");
    ASSERT_EQ(MakeArchiveFromFiles(zip, {}, {scratch / "in" / "a.gpx", scratch / "other.kml", scratch / "a.gpx"}, 0),
              0);
    EXPECT_EQ(test::ZipEntryNames(zip), (std::vector<std::string>{"a.gpx", "other.kml"}));
    EXPECT_EQ(test::ZipEntryContent(zip, "a.gpx"), "A2");

    // A folder and names in it; without append the old archive is gone.
    ASSERT_EQ(MakeArchiveFromFiles(zip, scratch / "in", {"b.nmea", "a.gpx"}, 0), 0);
    EXPECT_EQ(test::ZipEntryNames(zip), (std::vector<std::string>{"b.nmea", "a.gpx"}));
    // One path alone, appended.
    ASSERT_EQ(MakeArchiveFromFiles(zip, scratch / "other.kml", {}, 1), 0);
    EXPECT_EQ(test::ZipEntryNames(zip), (std::vector<std::string>{"b.nmea", "a.gpx", "other.kml"}));
    // A dialog's multiple selection: folder, names, empty end.
    const std::string selection = (scratch / "in").string() + std::string("\0a.gpx\0b.nmea\0\0", 15);
    ASSERT_EQ(MakeArchiveFromSelection(zip, selection, 0), 0);
    EXPECT_EQ(test::ZipEntryNames(zip), (std::vector<std::string>{"a.gpx", "b.nmea"}));
    ASSERT_EQ(MakeArchiveFromSelection(zip, (scratch / "other.kml").string() + std::string(2, '\0'), 0), 0);
    EXPECT_EQ(test::ZipEntryNames(zip), (std::vector<std::string>{"other.kml"}));

    // Missing files and folders note 64 and do not spoil the others.
    EXPECT_EQ(MakeArchiveFromFiles(zip, {}, {scratch / "none.gpx", scratch / "in", scratch / "a.gpx"}, 0),
              kZipSourceFailed);
    EXPECT_EQ(test::ZipEntryNames(zip), (std::vector<std::string>{"a.gpx"}));
    // An archive path that cannot be written gives libzip's code.
    EXPECT_EQ(MakeArchiveFromFiles(scratch / "no" / "such" / "x.zip", {}, {scratch / "a.gpx"}, 0), ZIP_ER_TMPOPEN);
}

TEST(ZipMake, EntryNamesAreBareFileNamesThatExtractionAccepts) {
    EXPECT_EQ(ArchiveEntryName("/data/logs/walk.gpx"), "walk.gpx");
    EXPECT_EQ(ArchiveEntryName("/x/say \"hi\".gpx"), "say \xEF\xBC\x82hi\xEF\xBC\x82.gpx");
    EXPECT_EQ(ArchiveEntryName("/x/a\\b.gpx"),
              "a\xEF\xBC\xBC"
              "b.gpx");
    EXPECT_EQ(ArchiveEntryName("/x/tab\there.gpx"), "tab_here.gpx");
    EXPECT_EQ(ArchiveEntryName("/x/  spaced.gpx "), "spaced.gpx");
    EXPECT_EQ(ArchiveEntryName("/x/bad\xFF.gpx"), "bad\xEF\xBF\xBD.gpx");
    // 255 bytes at most, never cutting a character.
    std::string longName;
    for (int i = 0; i < 100; ++i) longName += "\xE6\x9D\xB1";
    const std::string cut = ArchiveEntryName("/x/" + longName);
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_EQ(cut, longName.substr(0, 255));
    for (const char* path : {"/x/walk.gpx", "/x/say \"hi\".gpx", "/x/a\\b", "/x/\x01", "/x/ "}) {
        EXPECT_TRUE(IsSafeEntryName(ArchiveEntryName(path))) << path;
    }
}

TEST(ZipFolder, PatternsRecursionAndTheFolderNameAsRoot) {
    ScratchFolder scratch;
    const fs::path logs = scratch / "logs";
    fs::create_directories(logs / "day1" / "deep");
    fs::create_directories(logs / "empty");
    WriteFile(logs / "a.GPX", "a");
    WriteFile(logs / "notes.txt", "n");
    WriteFile(logs / "day1" / "b.nmea", "b");
    WriteFile(logs / "day1" / "deep" / "c.gpx", "c");
    const fs::path zip = scratch / "logs.zip";

    ASSERT_EQ(ArchiveFolder(zip, logs, "*.gpx; *.nmea", 1, 1, 0), 0);
    EXPECT_EQ(test::ZipEntryNames(zip),
              (std::vector<std::string>{"a.GPX", "day1/", "day1/b.nmea", "day1/deep/", "day1/deep/c.gpx", "empty/"}));
    ASSERT_EQ(ArchiveFolder(zip, logs / "", "*.*", 1, 0, 1), 0);
    EXPECT_EQ(test::ZipEntryNames(zip), (std::vector<std::string>{"logs/", "logs/a.GPX", "logs/notes.txt"}));
    // Appending adds behind; the archive inside the folder is not taken in.
    const fs::path inside = logs / "self.zip";
    ASSERT_EQ(ArchiveFolder(inside, logs, "n*", 1, 0, 0), 0);
    ASSERT_EQ(ArchiveFolder(inside, logs, "*.gpx;*.zip", 0, 0, 0), 0);
    EXPECT_EQ(test::ZipEntryNames(inside), (std::vector<std::string>{"notes.txt", "a.GPX"}));

    EXPECT_TRUE(MatchesFilePattern("*.gpx", "x.GPX"));
    EXPECT_TRUE(MatchesFilePattern("a?c*", "abcdef"));
    EXPECT_TRUE(MatchesFilePattern("*.*", "noext"));
    EXPECT_TRUE(MatchesFilePattern("*a*b", "xxaxxbxb"));
    EXPECT_FALSE(MatchesFilePattern("*.gpx", "x.gpx.bak"));
    EXPECT_FALSE(MatchesFilePattern("a?c", "ac"));
}

}  // namespace
}  // namespace trakvio
