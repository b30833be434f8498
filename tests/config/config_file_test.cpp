#include "config/config_file.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/folders.h"
#include "platform/local_time.h"
#include "platform/utf.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::ReadFile;
using test::ScratchFolder;
using test::WriteFile;
namespace fs = std::filesystem;

// Reads text without touching the process's current directory.
Settings Read(std::string_view text) {
    Settings settings;
    ReadConfigurationText(text, settings, false);
    return settings;
}

// The printf conversions of a tile URL format: the count of "%d" slots, or
// -1 when any other conversion is there.
int CountSlots(std::u16string_view format) {
    int slots = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != u'%') continue;
        if (i + 1 < format.size() && format[i + 1] == u'%') {
            ++i;
        } else if (i + 1 < format.size() && format[i + 1] == u'd') {
            ++slots;
            ++i;
        } else {
            return -1;
        }
    }
    return slots;
}

// Restores the current directory when a test changed it.
class CurrentDirectoryGuard {
  public:
    CurrentDirectoryGuard() : saved_(fs::current_path()) {}
    ~CurrentDirectoryGuard() {
        std::error_code ec;
        fs::current_path(saved_, ec);
    }

  private:
    fs::path saved_;
};

// Answers every folder-browse question with one folder while it lives.
class FolderAnswer {
  public:
    explicit FolderAnswer(fs::path answer) : answer_(std::move(answer)) { SetFolderBrowser(&Answer, this); }
    ~FolderAnswer() { SetFolderBrowser(nullptr, nullptr); }
    std::vector<std::string> prompts;

  private:
    static fs::path Answer(void* context, std::string_view prompt, const fs::path&) {
        auto* self = static_cast<FolderAnswer*>(context);
        self->prompts.emplace_back(prompt);
        return self->answer_;
    }
    fs::path answer_;
};

// ---- Lines and keys

TEST(ConfigFile, KeysAreCaseInsensitiveAndNeedNoBlanksAroundEquals) {
    EXPECT_EQ(Read("MaxTracks=50\n").maxtracks, 50);
    EXPECT_EQ(Read("maxtracks =50\n").maxtracks, kDefaultMaxTracks);
    EXPECT_EQ(Read(" maxtracks=50\n").maxtracks, kDefaultMaxTracks);
    // The value's leading blanks are the number parser's business.
    EXPECT_EQ(Read("maxtracks= 60\n").maxtracks, 60);
    EXPECT_EQ(Read("maxtracks\n").maxtracks, kDefaultMaxTracks);
    EXPECT_EQ(Read("nosuchkey=5\nmaxtracks=70\n").maxtracks, 70);
}

TEST(ConfigFile, BothPointCapacityNamesSetOneCapacityAndTheLaterWins) {
    EXPECT_EQ(Read("maxwaypoints=5000\nmaxlogpoints=20000\n").maxlogpoints, 20000);
    EXPECT_EQ(Read("maxlogpoints=20000\nmaxwaypoints=5000\n").maxlogpoints, 5000);
    EXPECT_EQ(Read("maxtracks=5\nmaxtracks=9\n").maxtracks, 9);
}

TEST(ConfigFile, CommentsSectionsAndTrailingSpaces) {
    Settings s = Read(
        "[General]\n"
        ";maxtracks=7\n"
        "maxlogpoints=8 ; eight\n"
        "leafletjs=abc   \n"
        "leafletcss=abc\t\n"
        "gmapjs=x;y\n");
    EXPECT_EQ(s.maxtracks, kDefaultMaxTracks);
    EXPECT_EQ(s.maxlogpoints, 8);
    EXPECT_EQ(s.leafletjs, "abc");
    EXPECT_EQ(s.leafletcss, "abc\t");  // only spaces are cut
    EXPECT_EQ(s.gmapjs, "x");
    // A section line does not open a scope: keys after it are global.
    EXPECT_EQ(Read("[Maps]\nmaxtracks=11\n").maxtracks, 11);
}

TEST(ConfigFile, QuotesProtectSemicolonsAndAreStrippedOnce) {
    Settings s = Read("leafletcss=\"https://x/a;b\"\n");
    EXPECT_EQ(s.leafletcss, "https://x/a;b");
    EXPECT_EQ(Read("leafletcss=https://x/a;b\n").leafletcss, "https://x/a");
    EXPECT_EQ(Read("leafletjs=\"abc\n").leafletjs, "abc");
    EXPECT_EQ(Read("leafletjs=abc\"\n").leafletjs, "abc");
    EXPECT_EQ(Read("leafletjs=\"\"abc\"\"\n").leafletjs, "\"abc\"");
    EXPECT_EQ(Read("leafletjs=\"\n").leafletjs, "");
}

TEST(ConfigFile, CurrentFolderKeepsQuotedSemicolon) {
    ScratchFolder scratch;
    fs::create_directory(scratch / "a;b");
    fs::create_directory(scratch / "a");
    std::string base = scratch.path().string();
    EXPECT_EQ(Read("currentfolder=\"" + base + "/a;b\"\n").currentFolder, scratch / "a;b");
    EXPECT_EQ(Read("currentfolder=" + base + "/a;b\n").currentFolder, scratch / "a");
}

TEST(ConfigFile, LastLineWithoutLineFeedIsIgnored) {
    Settings s = Read("maxtracks=50\nmaxlogpoints=7");
    EXPECT_EQ(s.maxtracks, 50);
    EXPECT_EQ(s.maxlogpoints, kDefaultMaxLogPoints);
}

TEST(ConfigFile, CarriageReturnBeforeLineFeedIsDropped) {
    Settings s = Read("leafletjs=\"abc\"\r\nmaxtracks=12\r\n");
    EXPECT_EQ(s.leafletjs, "abc");
    EXPECT_EQ(s.maxtracks, 12);
}

TEST(ConfigFile, LinesAreReadInPiecesOf1023Bytes) {
    // 1,022 bytes and the line feed fit: the line is taken.
    std::string value(1022 - 11, 'x');
    EXPECT_EQ(Read("leafletcss=" + value + "\n").leafletcss, std::string(127, 'x'));
    // One byte more and the first piece has no line feed: it is not a line,
    // and the lone line feed after it is an empty one.
    EXPECT_EQ(Read("maxtracks=1" + std::string(1013, '0') + "\n").maxtracks, kDefaultMaxTracks);
    // The rest of an over-long line is a piece of its own.
    EXPECT_EQ(Read(std::string(1023, 'z') + "maxtracks=50\n").maxtracks, 50);
    EXPECT_EQ(Read(std::string(100000, 'z') + "\nmaxtracks=51\n").maxtracks, 51);
}

TEST(ConfigFile, NumbersFollowTheCLibraryRules) {
    EXPECT_EQ(Read("maxtracks=abc\n").maxtracks, 0);
    EXPECT_EQ(Read("maxtracks=12abc\n").maxtracks, 12);
    EXPECT_EQ(Read("maxtracks=\"12\"\n").maxtracks, 0);
    EXPECT_EQ(Read("maxtracks=-3\n").maxtracks, -3);
    EXPECT_EQ(Read("maxtracks=99999999999\n").maxtracks, 2147483647);
    EXPECT_EQ(Read("maxtracks=-99999999999\n").maxtracks, -2147483647 - 1);
    EXPECT_EQ(Read("tracklinecolordefault=00ff00\n").tracklinecolordefault, 0x00FF00u);
    EXPECT_EQ(Read("tracklinecolordefault=0x0000FF\n").tracklinecolordefault, 0x0000FFu);
    EXPECT_EQ(Read("tracklinecolordefault=0xg\n").tracklinecolordefault, 0u);
    EXPECT_EQ(Read("tracklinewidthdefault=5\n").tracklinewidthdefault, 5);
    EXPECT_EQ(Read("ssmeterslessthan=15\n").ssmeterslessthan, 15);
}

TEST(ConfigFile, TextValuesAreCutAtTheirLimits) {
    std::string kana;
    for (int i = 0; i < 50; ++i) kana += "あ";  // 150 bytes, 3 each
    EXPECT_EQ(Read("leafletcss=" + std::string(200, 'c') + "\n").leafletcss.size(), 127u);
    EXPECT_EQ(Read("leafletjs=" + kana + "\n").leafletjs, kana.substr(0, 126));
    EXPECT_EQ(Read("gmapjs=" + kana + "\n").gmapjs.size(), 126u);
    EXPECT_EQ(Read("gmapapikey=" + std::string(100, 'k') + "\n").gmapapikey, std::string(63, 'k'));
    EXPECT_EQ(Read("mtkloggerdevidstr=" + std::string(200, 'd') + "\n").mtkloggerdevidstr.size(), 127u);
    EXPECT_EQ(Read("grpaxislabelh=" + std::string(40, 'h') + "\n").graph.altitudeLabel, std::string(27, 'h') + " [m]");
    EXPECT_EQ(Read("grpaxislabelu=" + kana + "\n").graph.speedLabel, kana.substr(0, 24) + " [km/h]");
    EXPECT_EQ(Read("grpaxislabelt=" + kana + "\n").graph.timeLabel, kana.substr(0, 30));
    EXPECT_EQ(Read("grpfontnum=" + std::string(40, 'f') + "\n").graph.numberFont.name, std::u16string(31, u'f'));
    EXPECT_EQ(Read("gpslogdatafile=/" + std::string(300, 'p') + "\n").gpsLogDataFile.string().size(), 259u);
    // A character outside the basic plane is never split in UTF-16.
    std::string emoji;
    for (int i = 0; i < 70; ++i) emoji += "\xF0\x9F\x97\xBB";  // U+1F5FB
    EXPECT_EQ(Read("mtkloggerdevidstr=" + emoji + "\n").mtkloggerdevidstr.size(), 126u);
}

TEST(ConfigFile, WebAddressesAndApiKey) {
    Settings s = Read(
        "leafletcss=https://unpkg.com/leaflet@1.9.4/dist/leaflet.css\n"
        "leafletjs=\"https://unpkg.com/leaflet@1.9.4/dist/leaflet.js\"\n"
        "gmapjs=https://maps.googleapis.com/maps/api/js\n"
        "GMapAPIkey=\"AIzaXYZ\"\n"
        "mtkloggerdevidstr=VID_091E&PID_0003\n");
    EXPECT_EQ(s.leafletcss, "https://unpkg.com/leaflet@1.9.4/dist/leaflet.css");
    EXPECT_EQ(s.leafletjs, "https://unpkg.com/leaflet@1.9.4/dist/leaflet.js");
    EXPECT_EQ(s.gmapjs, "https://maps.googleapis.com/maps/api/js");
    EXPECT_EQ(s.gmapapikey, "AIzaXYZ");
    EXPECT_EQ(s.gmapApiKeyInEffect, "AIzaXYZ");
    EXPECT_EQ(s.mtkloggerdevidstr, u"VID_091E&PID_0003");
}

TEST(ConfigFile, WindowSwitches) {
    Settings s = Read("showtrklistwindow=hide\nshowgrpwindow=SHOW\nhidpimapstretch=Yes\n");
    EXPECT_FALSE(s.showTrackListWindow);
    EXPECT_TRUE(s.showGraphWindow);
    EXPECT_TRUE(s.hidpimapstretch);
    EXPECT_TRUE(Read("hidpimapstretch=true\n").hidpimapstretch);
    EXPECT_FALSE(Read("hidpimapstretch=1\n").hidpimapstretch);
    EXPECT_FALSE(Read("showgrpwindow=Shown\n").showGraphWindow);
}

// ---- Graph labels and fonts

TEST(ConfigFile, AxisLabelsTakeTheirUnit) {
    Settings s = Read(
        "grpaxislabelu=速度\n"
        "grpaxislabelh=標高\n"
        "GrpAxisLabelDistance=距離\n"  // only the 13th character counts
        "grpaxislabelt=時刻\n");
    EXPECT_EQ(s.graph.speedLabel, "速度 [km/h]");
    EXPECT_EQ(s.graph.altitudeLabel, "標高 [m]");
    EXPECT_EQ(s.graph.distanceLabel, "距離 [km]");
    EXPECT_EQ(s.graph.timeLabel, "時刻");

    Settings unchanged = Read("grpaxislabelx=何か\ngrpaxislabel=何か\n");
    GraphSettings defaults;
    EXPECT_EQ(unchanged.graph.altitudeLabel, defaults.altitudeLabel);
    EXPECT_EQ(unchanged.graph.timeLabel, defaults.timeLabel);
    EXPECT_EQ(unchanged.graph.elapsedLabel, defaults.elapsedLabel);
    EXPECT_EQ(unchanged.graph.distanceLabel, defaults.distanceLabel);
    EXPECT_EQ(unchanged.graph.averageSpeedLabel, defaults.averageSpeedLabel);
    EXPECT_EQ(unchanged.graph.speedLabel, defaults.speedLabel);
}

TEST(ConfigFile, FontNameAndOptionalSize) {
    Settings s = Read("grpfontnum=\"MS Gothic\"\ngrpfontlabel=Meiryo,12\n");
    EXPECT_EQ(s.graph.numberFont.name, u"MS Gothic");
    EXPECT_EQ(s.graph.numberFont.size, 14);
    EXPECT_EQ(s.graph.labelFont.name, u"Meiryo");
    EXPECT_EQ(s.graph.labelFont.size, 12);

    s = Read("grpfontnum=\"Yu Gothic, UI\",10\ngrpfontlabel=,9\n");
    EXPECT_EQ(s.graph.numberFont.name, u"Yu Gothic, UI");
    EXPECT_EQ(s.graph.numberFont.size, 10);
    EXPECT_EQ(s.graph.labelFont.name, u"Arial");
    EXPECT_EQ(s.graph.labelFont.size, 9);
}

TEST(ConfigFile, EveryReadResetsFontSizesAndLayout) {
    Settings s;
    s.graph.numberFont.size = 30;
    s.graph.labelFont.size = 31;
    s.graph.gap = 99;
    s.graph.majorTickLength = 99;
    s.maxtracks = 3;
    ReadConfigurationText("grpfontnum=Meiryo\n", s, false);
    EXPECT_EQ(s.graph.numberFont.size, 14);
    EXPECT_EQ(s.graph.labelFont.size, 14);
    EXPECT_EQ(s.graph.gap, 3);
    EXPECT_EQ(s.graph.majorTickLength, 8);
    EXPECT_EQ(s.maxtracks, 3);  // other settings are not reset
}

// ---- Serial line and receiver

TEST(ConfigFile, SerialAndReceiverKeys) {
    Settings s = Read(
        "scidcbbaudrate=9600\n"
        "scidcbbytesize=7\n"
        "scidcbparity=2\n"
        "scidcbstopbits=1\n"
        "gpsrcvtimeout=200,8000\n"
        "gpsrcvbuffersize=4096\n"
        "gpsrcvsentencelength=512\n"
        "gpsrcvmarkerradius=12\n"
        "gpsrcvmarkercolor=00FF00\n"
        "gpsrcvmarkerwidth=2\n"
        "gpsrcvmarkerbrush=0\n");
    EXPECT_EQ(s.serial.baudRate, 9600);
    EXPECT_EQ(s.serial.byteSize, 7);
    EXPECT_EQ(s.serial.parity, 2);
    EXPECT_EQ(s.serial.stopBits, 1);
    EXPECT_EQ(s.receiver.timeout1, 200u);
    EXPECT_EQ(s.receiver.timeout2, 8000u);
    EXPECT_EQ(s.receiver.bufferSize, 4096u);
    EXPECT_EQ(s.receiver.sentenceLength, 512);
    EXPECT_EQ(s.marker.radius, 12);
    EXPECT_EQ(s.marker.color, 0x00FF00u);
    EXPECT_EQ(s.marker.width, 2);
    EXPECT_EQ(s.marker.brush, 0);
}

TEST(ConfigFile, SerialAndReceiverSuffixesAreComparedExactly) {
    Settings s = Read("scidcbbaudrates=9600\ngpsrcvtimeouts=1,2\ngpsrcvmarker=1\n");
    SerialSettings serial;
    ReceiverSettings receiver;
    EXPECT_EQ(s.serial.baudRate, serial.baudRate);
    EXPECT_EQ(s.receiver.timeout1, receiver.timeout1);
    EXPECT_EQ(s.receiver.timeout2, receiver.timeout2);
    // One-byte and 16-bit settings keep the low bits, as a narrowing store does.
    EXPECT_EQ(Read("scidcbbytesize=264\n").serial.byteSize, 8);
    EXPECT_EQ(Read("gpsrcvsentencelength=65537\n").receiver.sentenceLength, 1);
    // Any one character separates the time-outs; a missing second keeps its value.
    EXPECT_EQ(Read("gpsrcvtimeout=300/9000\n").receiver.timeout2, 9000u);
    Settings one = Read("gpsrcvtimeout=300\n");
    EXPECT_EQ(one.receiver.timeout1, 300u);
    EXPECT_EQ(one.receiver.timeout2, receiver.timeout2);
}

// ---- Times

TEST(ConfigFile, KmlTimeDefaultVariants) {
    test::ScopedTimeZone tz("JST-9");
    const int64_t start = UtcFromCivil(2024, 4, 30, 23, 30, 0);  // 2024-05-01 08:30 JST

    Settings s = Read("kmltimedefault=2024-05-01 08:30:00,10\n");
    EXPECT_EQ(s.kmlTimeDefaultStart, start);
    EXPECT_EQ(s.kmlTimeDefaultStep, 10);

    s = Read("kmltimedefault=20240501_083000\n");
    EXPECT_EQ(s.kmlTimeDefaultStart, start);
    EXPECT_EQ(s.kmlTimeDefaultStep, 5);

    s = Read("kmltimedefault=2024\n");
    EXPECT_EQ(s.kmlTimeDefaultStart, 0);

    s = Read("kmltimedefault=\"2024/05/01T08:30:00\" ,7\n");
    EXPECT_EQ(s.kmlTimeDefaultStart, start);
    EXPECT_EQ(s.kmlTimeDefaultStep, 7);

    Settings defaults;
    EXPECT_EQ(defaults.kmlTimeDefaultStart, 1672531200);
    EXPECT_EQ(defaults.kmlTimeDefaultStep, 5);
}

TEST(ConfigFile, DateTimeIsLocalStandardTime) {
    // Central Europe keeps summer time in July; the text is still read as
    // standard time (UTC+1).
    test::ScopedTimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(ParseDateTime("2024-07-01 12:00:00"), UtcFromCivil(2024, 7, 1, 11, 0, 0));
    EXPECT_EQ(ParseDateTime("20240701-120000"), UtcFromCivil(2024, 7, 1, 11, 0, 0));
    EXPECT_EQ(ParseDateTime("2024070112000"), 0);  // 13 bytes: too short
}

TEST(ConfigFile, DateTimeFieldsThatDoNotMatchAreZero) {
    test::ScopedTimeZone tz("UTC0");
    EXPECT_EQ(ParseDateTime("2024-05-01 08:30:xx"), UtcFromCivil(2024, 5, 1, 8, 30, 0));
    // Day 0 of May is the last of April; everything after it is unread.
    EXPECT_EQ(ParseDateTime("2024-05-xx 08:30:00"), UtcFromCivil(2024, 4, 30, 0, 0, 0));
    EXPECT_EQ(ParseDateTime("2024-05-01 08-30-00"), UtcFromCivil(2024, 5, 1, 8, 0, 0));
}

// ---- Geoid model

TEST(ConfigFile, GeoidModelLineNamesFileAndBounds) {
    Settings s = Read("geoidmodel=\"gsigeo2011.asc\",20,50,120,155\n");
    EXPECT_EQ(s.geoidModelFile, ProgramFolder() / "gsigeo2011.asc");
    EXPECT_DOUBLE_EQ(s.geoidBounds[0], 20);
    EXPECT_DOUBLE_EQ(s.geoidBounds[1], 50);
    EXPECT_DOUBLE_EQ(s.geoidBounds[2], 120);
    EXPECT_DOUBLE_EQ(s.geoidBounds[3], 155);
    EXPECT_EQ(s.geoidResult, -1);

    s = Read("geoidmodel=/data/egm2008.bin\n");
    EXPECT_EQ(s.geoidModelFile, fs::path("/data/egm2008.bin"));
    EXPECT_DOUBLE_EQ(s.geoidBounds[1], 0);

    s = Read("geoidmodel=g.bin,1.5,2\n");  // fewer than four: the whole grid
    EXPECT_EQ(s.geoidModelFile, ProgramFolder() / "g.bin");
    for (double bound : s.geoidBounds) EXPECT_DOUBLE_EQ(bound, 0);
}

// ---- Folders

TEST(ConfigFile, CurrentFolderFallsBackToDocuments) {
    ScratchFolder scratch;
    EXPECT_EQ(Read("currentfolder=" + (scratch / "missing").string() + "\n").currentFolder, DocumentsFolder());
    EXPECT_EQ(Read("currentfolder=\n").currentFolder, DocumentsFolder());
    EXPECT_EQ(Read("currentfolder=" + scratch.path().string() + "\n").currentFolder, scratch.path());
}

TEST(ConfigFile, CurrentFolderChangesDirectoryAndScriptFileFollowsIt) {
    CurrentDirectoryGuard guard;
    ScratchFolder scratch;
    fs::path real = fs::canonical(scratch.path());
    Settings s;
    ReadConfigurationText("currentfolder=\"" + real.string() + "\"\nScriptFile=run.q9s\nSvgFile=g.svg\n", s);
    EXPECT_EQ(fs::current_path(), real);
    EXPECT_EQ(s.scriptFile, real / "run.q9s");
    EXPECT_EQ(s.svgFile, fs::path("g.svg"));  // only the script is made absolute

    // Without changing directory the recorded folder stands in.
    fs::create_directory(real / "sub");
    s = Read("currentfolder=" + real.string() + "\ncurrentfolder=sub\nScriptFile=\"../x.q9s\"\n");
    EXPECT_EQ(s.currentFolder, real / "sub");
    EXPECT_EQ(s.scriptFile, real / "x.q9s");
}

TEST(ConfigFile, FolderRulesAppendTheNameOnlyWhenMissing) {
    ScratchFolder scratch;
    fs::create_directories(scratch / "Work" / "Q9WORK");
    fs::create_directories(scratch / "maps");
    fs::create_directories(scratch / "user");
    Settings s;
    s.userFolder = scratch / "user";
    s.workFolder = scratch / "Work" / "Q9WORK";
    s.tileCacheFolder = scratch / "maps";
    ApplyFolderRules(s);
    EXPECT_EQ(s.workFolder, scratch / "Work" / "Q9WORK");
    EXPECT_EQ(s.tileCacheFolder, scratch / "maps" / "cache");
    EXPECT_TRUE(fs::is_directory(scratch / "maps" / "cache"));

    s.workFolder = scratch / "Work";
    s.tileCacheFolder = (scratch / "maps").string() + "/";
    ApplyFolderRules(s);
    EXPECT_EQ(s.workFolder, scratch / "Work" / "q9work");
    EXPECT_EQ(s.tileCacheFolder, scratch / "maps" / "cache");

    // A configured folder that does not exist gives the per-user default.
    s.workFolder = scratch / "nowhere";
    s.tileCacheFolder.clear();
    ApplyFolderRules(s);
    EXPECT_EQ(s.workFolder, scratch / "user" / "q9work");
    EXPECT_EQ(s.tileCacheFolder, scratch / "user" / "cache");
    EXPECT_TRUE(fs::is_directory(s.workFolder));
    EXPECT_TRUE(fs::is_directory(s.tileCacheFolder));
    EXPECT_FALSE(fs::exists(scratch / "nowhere"));
}

TEST(ConfigFile, RelativeFolderIsMadeAbsolute) {
    CurrentDirectoryGuard guard;
    ScratchFolder scratch;
    fs::create_directories(scratch / "tiles");
    fs::current_path(scratch.path());
    Settings s;
    s.userFolder = scratch / "user";
    s.tileCacheFolder = "tiles";
    ApplyFolderRules(s);
    EXPECT_EQ(s.tileCacheFolder, fs::current_path() / "tiles" / "cache");
}

TEST(ConfigFile, UnreadableFileLeavesDefaultsAndPerUserFolders) {
    ScratchFolder scratch;
    Settings s;
    s.userFolder = scratch.path();
    s.graph.gap = 50;
    EXPECT_EQ(ReadConfiguration(scratch / "Trakvio.ini", s), 1);
    EXPECT_EQ(s.maxtracks, kDefaultMaxTracks);
    EXPECT_EQ(s.graph.gap, 3);
    EXPECT_EQ(s.workFolder, scratch / "q9work");
    EXPECT_EQ(s.tileCacheFolder, scratch / "cache");
    EXPECT_TRUE(fs::is_directory(scratch / "q9work"));
    EXPECT_TRUE(fs::is_directory(scratch / "cache"));
}

TEST(ConfigFile, ReadingAFileAppliesTheFolderRules) {
    ScratchFolder scratch;
    fs::create_directories(scratch / "Tiles");
    WriteFile(scratch / "Trakvio.ini", "MaxTracks=42\r\nTileCacheFolder=\"" + (scratch / "Tiles").string() +
                                           "\"\r\nworkfolder=" + (scratch / "gone").string() + "\r\n");
    Settings s;
    s.userFolder = scratch / "user";
    fs::create_directory(s.userFolder);
    EXPECT_EQ(ReadConfiguration(scratch / "Trakvio.ini", s), 0);
    EXPECT_EQ(s.maxtracks, 42);
    EXPECT_EQ(s.tileCacheFolder, scratch / "Tiles" / "cache");
    EXPECT_EQ(s.workFolder, scratch / "user" / "q9work");
}

// ---- Locating and creating

TEST(ConfigFile, CreateFromTemplateQuotesTheDefaultFolders) {
    ScratchFolder scratch;
    WriteFile(scratch / "_Trakvio.ini",
              "; header\nTileCacheFolder=D:\\old\nmaxtracks=5\nWorkFolder=\ntilecachefolder=keep\n"
              " WorkFolder=keep\nleafletjs=x");
    fs::path user = scratch / "user";
    ASSERT_EQ(CreateConfigurationFromTemplate(scratch / "_Trakvio.ini", scratch / "Trakvio.ini", user), 0);
    EXPECT_EQ(ReadFile(scratch / "Trakvio.ini"), "; header\nTileCacheFolder=\"" + (user / "cache").string() +
                                                     "\"\nmaxtracks=5\nWorkFolder=\"" + (user / "q9work").string() +
                                                     "\"\ntilecachefolder=keep\n WorkFolder=keep\nleafletjs=x");
    EXPECT_TRUE(fs::is_directory(user / "cache"));
    EXPECT_TRUE(fs::is_directory(user / "q9work"));
}

TEST(ConfigFile, CreateFromTemplateTakesABrowsedFolder) {
    ScratchFolder scratch;
    fs::create_directory(scratch / "chosen");
    WriteFile(scratch / "_Trakvio.ini", "TileCacheFolder=\nWorkFolder=\n");
    FolderAnswer answer(scratch / "chosen");
    ASSERT_EQ(CreateConfigurationFromTemplate(scratch / "_Trakvio.ini", scratch / "Trakvio.ini", scratch / "u"), 0);
    std::string chosen = (scratch / "chosen").string();
    EXPECT_EQ(ReadFile(scratch / "Trakvio.ini"), "TileCacheFolder=\"" + chosen + "\"\nWorkFolder=\"" + chosen + "\"\n");
    ASSERT_EQ(answer.prompts.size(), 2u);
    EXPECT_EQ(answer.prompts[0],
              "タイルキャッシュフォルダを指定してください\n（既定のフォルダでよい場合は［キャンセル］を選択）");
    EXPECT_EQ(answer.prompts[1], "作業フォルダを指定してください\n（既定のフォルダでよい場合は［キャンセル］を選択）");
}

TEST(ConfigFile, CreateFromTemplateRefusesATooLongBrowsedFolder) {
    ScratchFolder scratch;
    WriteFile(scratch / "_Trakvio.ini", "WorkFolder=\n");
    FolderAnswer answer("/" + std::string(270, 'l'));
    ASSERT_EQ(CreateConfigurationFromTemplate(scratch / "_Trakvio.ini", scratch / "Trakvio.ini", scratch / "u"), 0);
    EXPECT_EQ(ReadFile(scratch / "Trakvio.ini"), "WorkFolder=\"" + (scratch / "u" / "q9work").string() + "\"\n");
}

TEST(ConfigFile, LocateCreatesOnceAndNeverRecreates) {
    ScratchFolder scratch;
    WriteFile(scratch / "_Trakvio.ini", "maxtracks=5\nWorkFolder=\n");
    fs::path user = scratch / "data" / "Trakvio";
    fs::path config;
    ASSERT_EQ(LocateConfiguration(user, scratch / "_Trakvio.ini", config), 0);
    EXPECT_EQ(config, user / "Trakvio.ini");
    EXPECT_EQ(ReadFile(config), "maxtracks=5\nWorkFolder=\"" + (user / "q9work").string() + "\"\n");

    WriteFile(config, "maxtracks=9\n");
    ASSERT_EQ(LocateConfiguration(user, scratch / "_Trakvio.ini", config), 0);
    EXPECT_EQ(ReadFile(config), "maxtracks=9\n");
}

TEST(ConfigFile, LocateWithoutTemplateCreatesNothing) {
    ScratchFolder scratch;
    fs::path config;
    EXPECT_EQ(LocateConfiguration(scratch / "user", scratch / "missing.ini", config), 1);
    EXPECT_TRUE(fs::is_directory(scratch / "user"));
    EXPECT_FALSE(fs::exists(config));
}

// ---- Write back

TEST(ConfigFile, WriteBackUpdatesOnlyExactCaseLines) {
    ScratchFolder scratch;
    fs::path config = scratch / "Trakvio.ini";
    WriteFile(config,
              "; keep\r\n"
              "TileCacheFolder=\"/old/cache\"\r\n"
              "tilecachefolder=/old/lower\n"
              "maxtracks=5 ; keep\n"
              "GMapAPIkey=\"old\"\n"
              "ScriptFile=/old.q9s\n"
              "GpsLogDataFile=\n"
              "EmfFile=/old.emf");
    Settings s;
    s.tileCacheFolder = "/new/cache";
    s.gpsLogDataFile = "/logs/2024 春;山.gpx";
    s.gmapapikey = "";
    s.gmapApiKeyInEffect = "script-only";
    ASSERT_EQ(WriteBackConfiguration(config, s), 0);
    EXPECT_EQ(ReadFile(config),
              "; keep\r\n"
              "TileCacheFolder=\"/new/cache\"\n"
              "tilecachefolder=/old/lower\n"
              "maxtracks=5 ; keep\n"
              "GMapAPIkey=\"\"\n"
              "ScriptFile=\n"
              "GpsLogDataFile=\"/logs/2024 春;山.gpx\"\n"
              "EmfFile=\n");
    EXPECT_FALSE(fs::exists(scratch / "Trakvio_new.ini"));
}

TEST(ConfigFile, WriteBackThenReadGivesTheSameValues) {
    ScratchFolder scratch;
    fs::path config = scratch / "Trakvio.ini";
    WriteFile(config,
              "TileCacheFolder=\nWorkFolder=\nGpsLogDataFile=\nQ9ArchiveFile=\nScriptFile=\nMtkBinFile=\n"
              "HtmlLeafletFile=\nHtmlGmapFile=\nKmlSaveFile=\nSvgFile=\nEmfFile=\nGMapAPIkey=\n");
    Settings out;
    out.tileCacheFolder = "/t/キャッシュ";
    out.workFolder = "/w;x/q9work";
    out.gpsLogDataFile = "/a.gpx";
    out.q9ArchiveFile = "/b.q9z";
    out.scriptFile = "/c.q9s";
    out.mtkBinFile = "/d.bin";
    out.htmlLeafletFile = "/e.htm";
    out.htmlGmapFile = "/f.htm";
    out.kmlSaveFile = "/g.kml";
    out.svgFile = "/h.svg";
    out.emfFile = "/i.emf";
    out.gmapapikey = "key;1";
    ASSERT_EQ(WriteBackConfiguration(config, out), 0);
    Settings in = Read(ReadFile(config));
    EXPECT_EQ(in.tileCacheFolder, out.tileCacheFolder);
    EXPECT_EQ(in.workFolder, out.workFolder);
    EXPECT_EQ(in.gpsLogDataFile, out.gpsLogDataFile);
    EXPECT_EQ(in.q9ArchiveFile, out.q9ArchiveFile);
    EXPECT_EQ(in.scriptFile, out.scriptFile);
    EXPECT_EQ(in.mtkBinFile, out.mtkBinFile);
    EXPECT_EQ(in.htmlLeafletFile, out.htmlLeafletFile);
    EXPECT_EQ(in.htmlGmapFile, out.htmlGmapFile);
    EXPECT_EQ(in.kmlSaveFile, out.kmlSaveFile);
    EXPECT_EQ(in.svgFile, out.svgFile);
    EXPECT_EQ(in.emfFile, out.emfFile);
    EXPECT_EQ(in.gmapapikey, out.gmapapikey);
}

TEST(ConfigFile, WriteBackNeverLosesTheFile) {
    ScratchFolder scratch;
    fs::path config = scratch / "Trakvio.ini";
    const std::string original = "TileCacheFolder=\"/old\"\nmaxtracks=5\n";
    WriteFile(config, original);
    // The new file cannot be created where a folder of its name stands.
    fs::create_directory(scratch / "Trakvio_new.ini");
    Settings s;
    s.tileCacheFolder = "/new";
    EXPECT_EQ(WriteBackConfiguration(config, s), 2);
    EXPECT_EQ(ReadFile(config), original);

    EXPECT_EQ(WriteBackConfiguration(scratch / "missing.ini", s), 1);
    EXPECT_FALSE(fs::exists(scratch / "missing.ini"));
}

TEST(ConfigFile, WriteBackDropsTheRestOfAnOverLongReplacedLine) {
    ScratchFolder scratch;
    fs::path config = scratch / "Trakvio.ini";
    WriteFile(config, "WorkFolder=" + std::string(2000, 'w') + "\nmaxtracks=5\n");
    Settings s;
    s.workFolder = "/w";
    ASSERT_EQ(WriteBackConfiguration(config, s), 0);
    EXPECT_EQ(ReadFile(config), "WorkFolder=\"/w\"\nmaxtracks=5\n");
}

// ---- The shipped template

TEST(ConfigFile, ShippedTemplateReadsCleanly) {
    std::string text = ReadFile(test::SourceDir() / "data" / "_Trakvio.ini");
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.find("\nTileCacheFolder=\n"), std::string::npos);
    EXPECT_NE(text.find("\nWorkFolder=\n"), std::string::npos);
    EXPECT_EQ(text.back(), '\n');

    Settings s = Read(text);
    const BaseMap* osm = nullptr;
    for (const BaseMap& m : s.baseMaps) {
        if (m.tileId == u"osmjp") osm = &m;
        EXPECT_FALSE(m.name.empty());
        EXPECT_EQ(CountSlots(m.urlFormat), 3) << Utf16ToUtf8(m.urlTemplate);
        EXPECT_LE(m.minZoom, m.maxZoom);
        for (int k = 0; k < m.linkCount; ++k) EXPECT_FALSE(m.linkUrls[k].empty()) << Utf16ToUtf8(m.name);
    }
    ASSERT_NE(osm, nullptr);
    EXPECT_EQ(osm->urlFormat, u"https://tile.openstreetmap.org/%d/%d/%d.png");
    EXPECT_EQ(osm->attribution, u"\u00A9 OpenStreetMap contributors");
    EXPECT_EQ(osm->links[0].linkStart, 2);
    EXPECT_EQ(osm->links[0].linkLength, 13);
    EXPECT_EQ(osm->linkUrls[0], u"https://www.openstreetmap.org/copyright");
    EXPECT_EQ(osm->minZoom, 0);
    EXPECT_EQ(osm->maxZoom, 19);
    EXPECT_GE(s.baseMaps.size(), 3u);
    EXPECT_FALSE(s.overlayMaps.empty());
    EXPECT_EQ(s.leafletcss, "https://unpkg.com/leaflet@1.9.4/dist/leaflet.css");
    EXPECT_EQ(s.leafletjs, "https://unpkg.com/leaflet@1.9.4/dist/leaflet.js");
    EXPECT_FALSE(s.gmapjs.empty());
    EXPECT_TRUE(s.geoidModelFile.empty());
}

TEST(ConfigFile, ShippedTemplateBecomesAConfiguration) {
    ScratchFolder scratch;
    fs::path config;
    ASSERT_EQ(LocateConfiguration(scratch / "user", test::SourceDir() / "data" / "_Trakvio.ini", config), 0);
    Settings s;
    s.userFolder = scratch / "user";
    ASSERT_EQ(ReadConfiguration(config, s), 0);
    EXPECT_EQ(s.tileCacheFolder, scratch / "user" / "cache");
    EXPECT_EQ(s.workFolder, scratch / "user" / "q9work");
    s.gpsLogDataFile = "/logs/a.gpx";
    ASSERT_EQ(WriteBackConfiguration(config, s), 0);
    EXPECT_NE(ReadFile(config).find("\nGpsLogDataFile=\"/logs/a.gpx\"\n"), std::string::npos);
}

// ---- Malformed input

TEST(ConfigFile, JunkNeverStopsTheLinesAfterIt) {
    std::mt19937 random(7);
    std::string junk;
    for (int i = 0; i < 20000; ++i) junk += static_cast<char>(random() & 0xFF);
    Settings s = Read(junk + "\nmaxtracks=42\n");
    EXPECT_EQ(s.maxtracks, 42);
    // Text after a NUL byte is not part of the line.
    using namespace std::string_literals;
    EXPECT_EQ(Read("maxtracks=4\0_2\n"s).maxtracks, 4);
    EXPECT_EQ(Read("max\0tracks=4\n"s).maxtracks, kDefaultMaxTracks);
}

TEST(ConfigFile, MalformedValuesKeepSafeResults) {
    Settings s = Read(
        "kmltimedefault=\"2024-05-01 08:30:00\n"  // unclosed quote: no step
        "grpfontnum=\"unclosed,12\n"
        "geoidmodel=\n"
        "basemap=\"\",\"\",\"\",\"\",\"\",0,0\n"
        "=value\n"
        "gpsrcvtimeout=,\n");
    EXPECT_EQ(s.kmlTimeDefaultStep, 5);
    EXPECT_EQ(s.graph.numberFont.name, u"unclosed,12");
    EXPECT_EQ(s.graph.numberFont.size, 14);
    EXPECT_TRUE(s.geoidModelFile.empty());
    ASSERT_EQ(s.baseMaps.size(), 1u);
    EXPECT_EQ(s.baseMaps[0].urlFormat, u"");
    EXPECT_EQ(s.receiver.timeout1, 100u);
}

}  // namespace
}  // namespace trakvio
