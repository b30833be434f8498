#include "config/config_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <tuple>
#include <utility>

#include "platform/folders.h"
#include "platform/local_time.h"
#include "script/script_run.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::ReadFile;
using test::ScratchFolder;
using test::WriteFile;
namespace fs = std::filesystem;

Settings Read(std::string_view text) {
    Settings settings;
    ReadConfigurationText(text, settings);
    return settings;
}

TEST(ConfigFile, KeysCommentsQuotesAndLineEnds) {
    // Keys ignore case but not blanks; the end of the file ends a last line unless it is over-long; an over-long
    // line is read in pieces of 1,023 bytes, the first of which (without a line feed) is no line.
    const std::pair<std::string, int32_t> tracks[] = {
        {"MaxTracks=50\n", 50},
        {"maxtracks =50\n", kDefaultMaxTracks},
        {" maxtracks=50\n", kDefaultMaxTracks},
        {"nosuchkey=5\nmaxtracks=70\n", 70},
        {"maxtracks=1" + std::string(1013, '0'), kDefaultMaxTracks},
        {"maxtracks=1" + std::string(1013, '0') + "\n", kDefaultMaxTracks},
        {std::string(1023, 'z') + "maxtracks=50\n", 50},
        {std::string(100000, 'z') + "\nmaxtracks=51\n", 51},
    };
    for (const auto& [text, expected] : tracks) EXPECT_EQ(Read(text).maxtracks, expected) << text.substr(0, 40);
    // Both point capacity names set one capacity.
    EXPECT_EQ(Read("maxwaypoints=5000\nmaxlogpoints=20000\n").maxlogpoints, 20000);
    EXPECT_EQ(Read("maxlogpoints=20000\nmaxwaypoints=5000\n").maxlogpoints, 5000);
    EXPECT_EQ(Read("maxlogpoints=5\r").maxlogpoints, 5);
    // 1,022 bytes and the line feed fit: the line is taken (and the value cut to 127 bytes).
    EXPECT_EQ(Read("leafletcss=" + std::string(1011, 'x') + "\n").leafletcss, std::string(127, 'x'));

    Settings s = Read(
        "[General]\n"
        ";maxtracks=7\n"
        "maxlogpoints=8 ; eight\n"
        "leafletjs=\"abc\"   \r\n"
        "leafletcss=\"https://x/a;b\"\n"
        "maxtracks=50");
    EXPECT_EQ(std::tie(s.maxtracks, s.maxlogpoints, s.leafletjs, s.leafletcss),
              std::tuple(50, 8, "abc", "https://x/a;b"));
}

TEST(ConfigFile, GraphAxisLabelsAndFonts) {
    Settings s = Read(
        "grpaxislabelu=速度\n"
        "grpaxislabelh=標高\n"
        "GrpAxisLabelDistance=距離\n"  // only the 13th character counts
        "grpaxislabelt=時刻\n"
        "grpfontnum=\"Yu Gothic, UI\",10\n"
        "grpfontlabel=Meiryo,12\n"
        "grpfontlabel=,9\n");  // an empty name changes only the size
    const GraphSettings& g = s.graph;
    EXPECT_EQ(std::tie(g.speedLabel, g.altitudeLabel, g.distanceLabel, g.timeLabel),
              std::tuple("速度 [km/h]", "標高 [m]", "距離 [km]", "時刻"));
    EXPECT_EQ(std::tie(g.numberFont.name, g.numberFont.size, g.labelFont.name, g.labelFont.size),
              std::tuple(u"Yu Gothic, UI", 10, u"Meiryo", 9));
}

TEST(ConfigFile, ReceiverTimeouts) {
    auto timeouts = [](const char* line) {
        Settings s = Read(line);
        return std::pair(s.receiver.timeout1, s.receiver.timeout2);
    };
    EXPECT_EQ(timeouts("gpsrcvtimeout=200,8000\n"), std::pair(200u, 8000u));
    EXPECT_EQ(timeouts("GpsRcvTimeout=300/9000\n"), std::pair(300u, 9000u));  // any one character separates them
    EXPECT_EQ(timeouts("gpsrcvtimeout=300\n"), std::pair(300u, 5000u));       // a missing second keeps its value
    EXPECT_EQ(timeouts("gpsrcvtimeouts=1,2\n"), std::pair(100u, 5000u));
}

TEST(ConfigFile, KmlTimeDefaultIsLocalStandardTime) {
    auto kml = [](std::string value) {
        Settings s = Read("kmltimedefault=" + value + "\n");
        return std::pair<int64_t, int32_t>(s.kmlTimeDefaultStart, s.kmlTimeDefaultStep);
    };
    test::ScopedTimeZone jst("JST-9");
    const int64_t start = UtcFromCivil(2024, 4, 30, 23, 30, 0);  // 2024-05-01 08:30 JST
    EXPECT_EQ(kml("2024-05-01 08:30:00,10"), std::pair(start, 10));
    EXPECT_EQ(kml("20240501_083000"), std::pair(start, 5));
    EXPECT_EQ(kml("\"2024/05/01T08:30:00\" ,7"), std::pair(start, 7));
    EXPECT_EQ(kml("\"2024-05-01 08:30:00,7"), std::pair(start, 5));  // unclosed quote: no step
    EXPECT_EQ(kml("2024"), std::pair(int64_t{0}, 5));
    // Central Europe keeps summer time in July; the text is still standard time (UTC+1).
    test::ScopedTimeZone cet("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(kml("20240701-120000").first, UtcFromCivil(2024, 7, 1, 11, 0, 0));
}

TEST(ConfigFile, CurrentFolderKeepsAQuotedSemicolonAndRelativeNamesFollowIt) {
    ScratchFolder scratch;
    fs::create_directories(scratch / "a;b" / "sub" / "Work");
    fs::create_directory(scratch / "a");
    std::string base = scratch.path().string();
    EXPECT_EQ(Read("currentfolder=" + base + "/a;b\n").currentFolder, scratch / "a");
    EXPECT_EQ(Read("currentfolder=" + base + "/missing\n").currentFolder, DocumentsFolder());
    // A relative folder, the work folder and the script file follow the folder read before them; the process's
    // current directory stays where it was.
    WriteFile(scratch / "t.ini",
              "currentfolder=\"" + base + "/a;b\"\ncurrentfolder=sub\nWorkFolder=Work\nScriptFile=\"../x.q9s\"\n");
    const fs::path before = fs::current_path();
    Settings s;
    s.userFolder = scratch / "user";
    ASSERT_EQ(ReadConfiguration(scratch / "t.ini", s), 0);
    EXPECT_EQ(fs::current_path(), before);
    const fs::path sub = scratch / "a;b" / "sub";
    EXPECT_EQ(std::tie(s.currentFolder, s.workFolder, s.scriptFile),
              std::tuple(sub, sub / "Work" / "q9work", scratch / "a;b" / "x.q9s"));
}

TEST(ConfigFile, FolderRulesForExistingAndMissingFolders) {
    ScratchFolder scratch;
    for (const char* folder : {"Work/Q9WORK", "maps", "user"}) fs::create_directories(scratch / folder);
    Settings s;
    s.userFolder = scratch / "user";
    s.workFolder = (scratch / "Work" / "Q9WORK").string() + "/";
    s.tileCacheFolder = scratch / "maps";
    ApplyFolderRules(s);
    // The name is there, in any case.
    EXPECT_EQ(std::tie(s.workFolder, s.tileCacheFolder),
              std::tuple(scratch / "Work" / "Q9WORK", scratch / "maps" / "cache"));

    s.workFolder = "";
    s.tileCacheFolder = scratch / "nowhere";
    ApplyFolderRules(s);
    EXPECT_EQ(std::tie(s.workFolder, s.tileCacheFolder),
              std::tuple(scratch / "user" / "q9work", scratch / "user" / "cache"));
    EXPECT_TRUE(fs::is_directory(s.tileCacheFolder));
    EXPECT_FALSE(fs::exists(scratch / "nowhere"));

    // Reading applies the rules even when the file cannot be opened.
    s = Settings();
    s.userFolder = scratch / "user";
    EXPECT_EQ(ReadConfiguration(scratch / "missing.ini", s), 1);
    EXPECT_EQ(s.workFolder, scratch / "user" / "q9work");
}

TEST(ConfigFile, CreateFromTemplateFillsOnlyTheTwoFolderLines) {
    ScratchFolder scratch;
    WriteFile(scratch / "_Trakvio.ini",
              "; header\nTileCacheFolder=D:\\old\nmaxtracks=5\nWorkFolder=\ntilecachefolder=keep\n"
              " WorkFolder=keep\nleafletjs=x");
    fs::path user = scratch / "user";
    ASSERT_EQ(CreateConfigurationFromTemplate(scratch / "_Trakvio.ini", scratch / "Trakvio.ini", user), 0);
    EXPECT_EQ(ReadFile(scratch / "Trakvio.ini"), "; header\nTileCacheFolder=\"" + (user / "cache").string() +
                                                     "\"\nmaxtracks=5\nWorkFolder=\"" + (user / "q9work").string() +
                                                     "\"\ntilecachefolder=keep\n WorkFolder=keep\nleafletjs=x");
    EXPECT_TRUE(fs::is_directory(user / "q9work"));
}

TEST(ConfigFile, WriteBackUpdatesOnlyExactCaseLinesAndNeverLosesTheFile) {
    ScratchFolder scratch;
    fs::path config = scratch / "Trakvio.ini";
    WriteFile(config,
              "; keep\r\n"
              "TileCacheFolder=\"/old/cache\"\r\n"
              "tilecachefolder=/old/lower\n"
              "maxtracks=5 ; keep\n"
              "GMapAPIkey=\"old\"\n"
              "GpsLogDataFile=\n"
              "EmfFile=/old.emf\n"
              "WorkFolder=" +
                  std::string(2000, 'w'));
    Settings s;
    s.tileCacheFolder = "/new/キャッシュ";
    s.workFolder = "/w";
    s.gpsLogDataFile = "/logs/2024 春;山.gpx";
    s.gmapapikey = "key;1";
    s.gmapApiKeyInEffect = "script-only";
    ASSERT_EQ(WriteBackConfiguration(config, s), 0);
    std::string written = ReadFile(config);
    EXPECT_EQ(written,
              "; keep\r\n"
              "TileCacheFolder=\"/new/キャッシュ\"\n"
              "tilecachefolder=/old/lower\n"
              "maxtracks=5 ; keep\n"
              "GMapAPIkey=\"key;1\"\n"
              "GpsLogDataFile=\"/logs/2024 春;山.gpx\"\n"
              "EmfFile=\n"
              "WorkFolder=\"/w\"\n");
    EXPECT_FALSE(fs::exists(scratch / "Trakvio_new.ini"));
    Settings in = Read(written);
    EXPECT_EQ(std::tie(in.gpsLogDataFile, in.gmapapikey), std::tie(s.gpsLogDataFile, s.gmapapikey));

    // A failed write leaves the old file as it was.
    fs::create_directory(scratch / "Trakvio_new.ini");
    s.tileCacheFolder = "/other";
    EXPECT_EQ(WriteBackConfiguration(config, s), 2);
    EXPECT_EQ(ReadFile(config), written);
    EXPECT_EQ(WriteBackConfiguration(scratch / "missing.ini", s), 1);
    EXPECT_FALSE(fs::exists(scratch / "missing.ini"));
}

TEST(ConfigFile, ShippedTemplateBecomesAConfigurationOnce) {
    fs::path shipped = test::SourceDir() / "data" / "_Trakvio.ini";
    Settings s = Read(ReadFile(shipped));
    const BaseMap* osm = nullptr;
    for (const BaseMap& m : s.baseMaps) osm = m.tileId == u"osmjp" ? &m : osm;
    ASSERT_NE(osm, nullptr);
    EXPECT_EQ(osm->urlFormat, u"https://tile.openstreetmap.org/%d/%d/%d.png");

    ScratchFolder scratch;
    fs::path config;
    ASSERT_EQ(LocateConfiguration(scratch / "user", shipped, config), 0);
    s = Settings();
    s.userFolder = scratch / "user";
    ASSERT_EQ(ReadConfiguration(config, s), 0);
    EXPECT_EQ(std::tie(s.workFolder, s.tileCacheFolder),
              std::tuple(scratch / "user" / "q9work", scratch / "user" / "cache"));
    s.gpsLogDataFile = "/logs/a.gpx";
    ASSERT_EQ(WriteBackConfiguration(config, s), 0);
    // Locating it again never recreates it from the template.
    ASSERT_EQ(LocateConfiguration(scratch / "user", shipped, config), 0);
    EXPECT_NE(ReadFile(config).find("\nGpsLogDataFile=\"/logs/a.gpx\"\n"), std::string::npos);
}

TEST(ConfigFile, JunkNeverStopsTheLinesAfterIt) {
    std::mt19937 random(7);
    std::string junk;
    for (int i = 0; i < 20000; ++i) junk += static_cast<char>(random() & 0xFF);
    Settings s =
        Read(junk + "\ngrpfontnum=\"unclosed,12\n=value\nbasemap=\"\",\"\",\"\",\"\",\"\",0,0\nmaxtracks=42\n");
    // Empty fields are still a complete base map line.
    EXPECT_EQ(std::tuple(s.maxtracks, s.graph.numberFont.name, s.baseMaps.size()), std::tuple(42, u"unclosed,12", 1u));
}

// Resource limits: a configuration, script or date list that is a pipe or a
// device is refused before reading (a FIFO without a writer would block).
TEST(ConfigFileResourceLimits, PipesAndDevicesAreNotRead) {
    ScratchFolder folder;
    ASSERT_EQ(::mkfifo((folder / "pipe.ini").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", folder / "zero.ini");
    for (const char* name : {"pipe.ini", "zero.ini"}) {
        SCOPED_TRACE(name);
        Settings settings;
        settings.userFolder = folder.path();
        EXPECT_EQ(ReadConfiguration(folder / name, settings), 1);
        EXPECT_EQ(settings.maxtracks, kDefaultMaxTracks);
    }
    Settings settings;
    TrackStore store;
    EXPECT_EQ(RunScript(folder / "pipe.ini", settings, store), -1);
}

// A worker gets a Configuration copy: the file's values, never the loaded grid or the bound library. A re-read of
// the configuration keeps what the menus, scripts and message answers set.
template <typename T>
concept HoldsGeoidGrid = requires(T value) {
    value.geoidModel;
};
template <typename T>
concept HoldsSqliteLibrary = requires(T value) {
    value.sqlite;
};
static_assert(HoldsGeoidGrid<Settings> && HoldsSqliteLibrary<Settings>);
static_assert(!HoldsGeoidGrid<Configuration> && !HoldsSqliteLibrary<Configuration>);

TEST(ConfigFileSplit, ConfigurationCopyLeavesTheRunStateBehind) {
    Settings settings = Read("maxtracks=70\ngeoidmodel=grid.isg,30,40,130,140\n");
    settings.geoidModel.values.assign(1 << 20, 1.5f);
    settings.geoidResult = kGeoidIsg;
    settings.itmReadPoi = settings.showReadErrors = 0;
    settings.gmapApiKeyInEffect = "script-only";
    Settings worker;
    static_cast<Configuration&>(worker) = settings;
    EXPECT_EQ(std::tuple(worker.geoidModelFile, worker.geoidModel.values.size(), worker.geoidResult),
              std::tuple(settings.geoidModelFile, size_t{0}, -1));

    ReadConfigurationText("maxtracks=80\ngeoidmodel=grid.isg,30,40,130,140\n", settings);
    EXPECT_EQ(std::tuple(settings.maxtracks, settings.geoidModel.values.size(), settings.geoidResult,
                         settings.itmReadPoi + settings.showReadErrors, settings.gmapApiKeyInEffect),
              std::tuple(80, size_t{1} << 20, kGeoidIsg, 0, "script-only"));
}

// Resource limits: capacities have an upper bound; a larger value is cut and
// the message names the key and the file.
TEST(ConfigFileResourceLimits, CapacitiesAreCutToTheirLargestValues) {
    ScratchFolder folder;
    WriteFile(folder / "big.ini", "maxtracks=50000000\nMaxLogPoints=999999999\nmaxbasemap=100000\nmaxoverlaymap=7\n");
    Settings settings;
    settings.userFolder = folder.path();
    test::MessageCatcher messages;
    ASSERT_EQ(ReadConfiguration(folder / "big.ini", settings), 0);
    EXPECT_EQ(std::tie(settings.maxtracks, settings.maxlogpoints, settings.maxbasemap, settings.maxoverlaymap),
              std::tuple(kLargestMaxTracks, kLargestMaxLogPoints, kLargestMapCount, 7));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_TRUE(messages.Saw("maxtracks=50000000 is more than 100000"));
    EXPECT_TRUE(messages.Saw("maxlogpoints=999999999 is more than 16000000"));
    EXPECT_TRUE(messages.Saw((folder / "big.ini").string()));

    // Values within the limits say nothing.
    WriteFile(folder / "fine.ini", "maxtracks=100000\nmaxlogpoints=16000000\n");
    test::MessageCatcher quiet;
    ASSERT_EQ(ReadConfiguration(folder / "fine.ini", settings), 0);
    EXPECT_TRUE(quiet.messages().empty());
}

}  // namespace
}  // namespace trakvio
