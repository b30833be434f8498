// End-to-end tests of trakvio-cli: the built program is run through the shell
// with its own per-user folder, a small configuration file and TZ=UTC.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/local_time.h"
#include "platform/utf.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

// ---- A small, strict JSON reader that keeps the order of object keys and the
// text of every number.

struct Json {
    enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
    Kind kind = Kind::kNull;
    bool boolean = false;
    std::string text;               // a string's value, or a number's token
    std::vector<Json> items;        // an array's items
    std::vector<std::string> keys;  // an object's keys, in order,
    std::vector<Json> values;       // and their values

    double Number() const {
        double value = NAN;
        std::from_chars(text.data(), text.data() + text.size(), value);
        return value;
    }
    int64_t Integer() const {
        int64_t value = 0;
        auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        EXPECT_TRUE(result.ec == std::errc() && result.ptr == text.data() + text.size()) << "not an integer: " << text;
        return value;
    }
    const Json& operator[](std::string_view key) const {
        for (size_t i = 0; i < keys.size(); ++i) {
            if (keys[i] == key) return values[i];
        }
        ADD_FAILURE() << "no key " << key;
        static const Json kMissing;
        return kMissing;
    }
    const std::vector<std::string>& Keys() const { return keys; }
};

class JsonReader {
  public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    // The whole text must be one value with blanks around it.
    bool Read(Json& value) {
        if (!Value(value)) return false;
        Blanks();
        return pos_ == text_.size();
    }

  private:
    void Blanks() {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' || text_[pos_] == '\t')) {
            ++pos_;
        }
    }
    bool Take(char c) {
        Blanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }
    bool Hex4(unsigned& value) {
        if (pos_ + 4 > text_.size()) return false;
        value = 0;
        for (int k = 0; k < 4; ++k) {
            char c = text_[pos_++];
            value <<= 4;
            if (c >= '0' && c <= '9') {
                value |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                value |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }
    bool String(std::string& out) {
        if (!Take('"')) return false;
        std::u16string units;
        std::string raw;
        auto flushRaw = [&] {
            units += Utf8ToUtf16(raw);
            raw.clear();
        };
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"') {
                flushRaw();
                out = Utf16ToUtf8(units);
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                raw.push_back(c);
                continue;
            }
            if (pos_ >= text_.size()) return false;
            char e = text_[pos_++];
            const std::string_view simple = "\"\\/bfnrt";
            const std::string_view meaning = "\"\\/\b\f\n\r\t";
            if (size_t k = simple.find(e); k != std::string_view::npos) {
                raw.push_back(meaning[k]);
            } else if (e == 'u') {
                unsigned unit;
                if (!Hex4(unit)) return false;
                flushRaw();
                units.push_back(static_cast<char16_t>(unit));
            } else {
                return false;
            }
        }
        return false;
    }
    bool NumberToken(std::string& out) {
        size_t start = pos_;
        auto digits = [&] {
            size_t from = pos_;
            while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
            return pos_ > from;
        };
        if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
        if (pos_ < text_.size() && text_[pos_] == '0') {
            ++pos_;
        } else if (!digits()) {
            return false;
        }
        if (pos_ < text_.size() && text_[pos_] == '.') {
            ++pos_;
            if (!digits()) return false;
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
            if (!digits()) return false;
        }
        out = std::string(text_.substr(start, pos_ - start));
        return true;
    }
    bool Value(Json& value) {
        Blanks();
        if (pos_ >= text_.size()) return false;
        char c = text_[pos_];
        if (c == '{') {
            ++pos_;
            value.kind = Json::Kind::kObject;
            if (Take('}')) return true;
            do {
                std::string key;
                Json member;
                if (!String(key) || !Take(':') || !Value(member)) return false;
                value.keys.push_back(std::move(key));
                value.values.push_back(std::move(member));
            } while (Take(','));
            return Take('}');
        }
        if (c == '[') {
            ++pos_;
            value.kind = Json::Kind::kArray;
            if (Take(']')) return true;
            do {
                Json item;
                if (!Value(item)) return false;
                value.items.push_back(std::move(item));
            } while (Take(','));
            return Take(']');
        }
        if (c == '"') {
            value.kind = Json::Kind::kString;
            return String(value.text);
        }
        if (Word("null")) return true;
        if (Word("true") || Word("false")) {
            value.kind = Json::Kind::kBool;
            value.boolean = text_[pos_ - 1] == 'e' && text_[pos_ - 2] == 'u';
            return true;
        }
        value.kind = Json::Kind::kNumber;
        return NumberToken(value.text);
    }

    std::string_view text_;
    size_t pos_ = 0;
};

Json ParseJson(const std::string& text) {
    Json value;
    EXPECT_TRUE(JsonReader(text).Read(value)) << "not JSON:\n" << text;
    return value;
}

// The token of a double field must be the shortest text that reads back as
// the same value (or null).
void ExpectShortestDouble(const Json& value, std::string_view key) {
    if (value.kind == Json::Kind::kNull) return;
    ASSERT_EQ(value.kind, Json::Kind::kNumber) << key;
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value.Number());
    EXPECT_EQ(std::string(buffer, result.ptr), value.text) << key;
}

// ---- Running the program

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

size_t CountLines(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

std::vector<std::string> SplitCsv(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ',')) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    return fields;
}

// Terminal columns of UTF-8 text: CJK ideographs and kana take two.
size_t DisplayWidth(const std::string& text) {
    size_t width = 0;
    for (char16_t c : Utf8ToUtf16(text)) {
        if (c >= 0xDC00 && c <= 0xDFFF) continue;
        width += ((c >= 0x3040 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF)) ? 2 : 1;
    }
    return width;
}

constexpr const char* kHeader =
    "index,trackIndex,latitude,longitude,altitude,geoidAltitude,loggedSpeed,distance,speed,time,enabled";

const char* kTwoTracksGpx = R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="trakvio test" xmlns="http://www.topografix.com/GPX/1/1">
 <trk><name>Say "hi" &amp; go</name><trkseg>
  <trkpt lat="35.6812345" lon="139.7671234"><ele>40.5</ele><time>2023-01-15T09:30:00Z</time></trkpt>
  <trkpt lat="35.6822345" lon="139.7681234"><ele>41</ele><time>2023-01-15T09:31:00Z</time></trkpt>
  <trkpt lat="35.6832345" lon="139.7691234"><ele>42.25</ele><time>2023-01-15T09:32:30Z</time></trkpt>
 </trkseg></trk>
 <trk><name>Zürich–東京 ™</name><trkseg>
  <trkpt lat="-33.8567844" lon="151.2152967"><ele>5</ele><time>2023-01-16T23:59:30Z</time></trkpt>
  <trkpt lat="-33.8577844" lon="151.2162967"><ele>6</ele><time>2023-01-17T00:00:40Z</time></trkpt>
 </trkseg></trk>
</gpx>
)";

class Cli : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(scratch_ / "data");
        fs::create_directory(scratch_ / "elsewhere");
        fs::create_directory(scratch_ / "work");
        ini_ = scratch_ / "work" / "test.ini";
        // currentfolder moves the program away from the folder it was started
        // in, so relative paths only work when made absolute first.
        test::WriteFile(ini_, "maxlogpoints=200000\ntracklinewidthdefault=4\ncurrentfolder=" +
                                  (scratch_ / "elsewhere").string() + "\n");
        gpx_ = scratch_ / "work" / "tracks.gpx";
        test::WriteFile(gpx_, kTwoTracksGpx);
    }

    // Runs the program with args (already quoted) from the work folder.
    int Run(const std::string& args, std::string* out, std::string* err = nullptr) {
        std::string command = "cd " + Quote((scratch_ / "work").string()) +
                              " && env XDG_DATA_HOME=" + Quote((scratch_ / "data").string()) + " TZ=UTC " +
                              Quote(TRAKVIO_CLI_PATH) + " " + args;
        return test::RunCommand(command, out, err);
    }
    std::string IniArg() const { return "--ini " + Quote(ini_.string()); }

    test::ScratchFolder scratch_;
    fs::path ini_;
    fs::path gpx_;
};

TEST_F(Cli, UsageErrorsExitWith64) {
    for (const char* args :
         {"", "frobnicate x.gpx", "info --bogus x.gpx", "info", "info --ini", "points --json x.gpx", "points --ini"}) {
        std::string out, err;
        EXPECT_EQ(Run(args, &out, &err), 64) << args;
        EXPECT_EQ(out, "") << args;
        EXPECT_NE(err.find("usage:"), std::string::npos) << args;
    }
}

TEST_F(Cli, HelpPrintsTheUsage) {
    for (const char* args : {"--help", "help", "info --help"}) {
        std::string out, err;
        EXPECT_EQ(Run(args, &out, &err), 0) << args;
        EXPECT_NE(out.find("usage:"), std::string::npos) << args;
        EXPECT_EQ(err, "") << args;
    }
}

TEST_F(Cli, MissingFileIsNamedOnOneLine) {
    const std::string missing = (scratch_ / "work" / "no such.gpx").string();
    std::string out, err;
    EXPECT_NE(Run("info " + IniArg() + " " + Quote(missing), &out, &err), 0);
    EXPECT_EQ(CountLines(err), 1u) << err;
    EXPECT_NE(err.find(missing), std::string::npos) << err;
    EXPECT_EQ(err.rfind("trakvio-cli: ", 0), 0u) << err;
}

TEST_F(Cli, UnrecognisedFileIsNamedOnOneLine) {
    const fs::path foo = scratch_ / "work" / "notes.foo";
    test::WriteFile(foo, "shopping list\neggs\nmilk\n");
    std::string out, err;
    EXPECT_EQ(Run("info " + IniArg() + " notes.foo", &out, &err), 2);
    EXPECT_EQ(err, "trakvio-cli: " + foo.string() + ": not a recognised log file\n");
}

TEST_F(Cli, MissingIniFileFails) {
    std::string out, err;
    EXPECT_EQ(Run("info --ini nowhere.ini tracks.gpx", &out, &err), 1);
    EXPECT_NE(err.find("nowhere.ini"), std::string::npos) << err;
}

TEST_F(Cli, InfoJsonDescribesTheStore) {
    std::string out, err;
    // Relative paths: the configuration moves the current folder elsewhere.
    ASSERT_EQ(Run("info --json --ini test.ini tracks.gpx", &out, &err), 0) << err;
    EXPECT_EQ(err, "");
    Json info = ParseJson(out);
    const std::vector<std::string> topKeys = {"loadResults",     "pointCount",    "trackCount",  "fileCount",
                                              "files",           "tracks",        "allMinLat",   "allMaxLat",
                                              "allMinLon",       "allMaxLon",     "kmPerDegLat", "kmPerDegLon",
                                              "totalDistanceKm", "totalDuration", "initialZoom"};
    ASSERT_EQ(info.Keys(), topKeys);
    ASSERT_EQ(info["loadResults"].items.size(), 1u);
    EXPECT_EQ(info["loadResults"].items[0].Integer(), 0);
    EXPECT_EQ(info["pointCount"].Integer(), 5);
    EXPECT_EQ(info["trackCount"].Integer(), 2);
    EXPECT_EQ(info["fileCount"].Integer(), 1);
    ASSERT_EQ(info["files"].items.size(), 1u);
    const Json& file = info["files"].items[0];
    EXPECT_EQ(file.Keys(), (std::vector<std::string>{"path", "kind"}));
    EXPECT_EQ(file["path"].text, gpx_.string());
    EXPECT_EQ(file["kind"].Integer(), 0);  // found by extension, so not recorded

    const std::vector<std::string> trackKeys = {"name",      "color",      "lineWidth",  "fileIndex", "firstIndex",
                                                "endIndex",  "firstPoint", "lastPoint",  "startTime", "endTime",
                                                "startText", "endText",    "distanceKm", "minLat",    "maxLat",
                                                "minLon",    "maxLon",     "points",     "deleted"};
    const Json& tracks = info["tracks"];
    ASSERT_EQ(tracks.items.size(), 2u);
    for (const Json& track : tracks.items) {
        ASSERT_EQ(track.Keys(), trackKeys);
        EXPECT_EQ(track["color"].text.size(), 6u);
        EXPECT_EQ(track["color"].text.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_EQ(track["lineWidth"].Integer(), 4);
        EXPECT_EQ(track["fileIndex"].Integer(), 0);
        EXPECT_EQ(track["deleted"].Integer(), 0);
        for (const char* key : {"distanceKm", "minLat", "maxLat", "minLon", "maxLon"}) {
            ExpectShortestDouble(track[key], key);
        }
    }
    const Json& a = tracks.items[0];
    EXPECT_EQ(a["name"].text, "Say \"hi\" & go");  // the reader decodes character references
    EXPECT_EQ(a["firstIndex"].Integer(), 0);
    EXPECT_EQ(a["endIndex"].Integer(), 2);
    EXPECT_EQ(a["firstPoint"].Integer(), 0);
    EXPECT_EQ(a["lastPoint"].Integer(), 2);
    EXPECT_EQ(a["startTime"].Integer(), UtcFromCivil(2023, 1, 15, 9, 30, 0));
    EXPECT_EQ(a["endTime"].Integer(), UtcFromCivil(2023, 1, 15, 9, 32, 30));
    EXPECT_EQ(a["startText"].text, "2023-01-15 09:30:00");
    EXPECT_EQ(a["endText"].text, "2023-01-15 09:32:30");
    EXPECT_DOUBLE_EQ(a["minLat"].Number(), 35.6812345);
    EXPECT_DOUBLE_EQ(a["maxLat"].Number(), 35.6832345);
    EXPECT_DOUBLE_EQ(a["minLon"].Number(), 139.7671234);
    EXPECT_DOUBLE_EQ(a["maxLon"].Number(), 139.7691234);
    EXPECT_GT(a["distanceKm"].Number(), 0.25);
    EXPECT_LT(a["distanceKm"].Number(), 0.35);
    EXPECT_EQ(a["points"].Integer(), 3);

    const Json& b = tracks.items[1];
    EXPECT_EQ(b["name"].text, "Zürich–東京 ™");
    EXPECT_EQ(b["firstIndex"].Integer(), 3);
    EXPECT_EQ(b["endIndex"].Integer(), 4);
    EXPECT_EQ(b["endText"].text, "2023-01-17 00:00:40");
    EXPECT_EQ(b["points"].Integer(), 2);
    EXPECT_NE(a["color"].text, b["color"].text);

    for (const char* key :
         {"allMinLat", "allMaxLat", "allMinLon", "allMaxLon", "kmPerDegLat", "kmPerDegLon", "totalDistanceKm"}) {
        ExpectShortestDouble(info[key], key);
    }
    EXPECT_DOUBLE_EQ(info["allMinLat"].Number(), -33.8577844);
    EXPECT_DOUBLE_EQ(info["allMaxLat"].Number(), 35.6832345);
    EXPECT_DOUBLE_EQ(info["allMinLon"].Number(), 139.7671234);
    EXPECT_DOUBLE_EQ(info["allMaxLon"].Number(), 151.2162967);
    EXPECT_EQ(info["totalDistanceKm"].Number(), a["distanceKm"].Number() + b["distanceKm"].Number());
    EXPECT_EQ(info["totalDuration"].Integer(), 150 + 70);
    info["initialZoom"].Integer();
}

TEST_F(Cli, InfoPrintsTheTrackListAsATable) {
    std::string out, err;
    ASSERT_EQ(Run("info " + IniArg() + " tracks.gpx", &out, &err), 0) << err;
    std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 4u) << out;
    EXPECT_EQ(lines[0].rfind("trk  ", 0), 0u) << lines[0];
    size_t at = 0;
    for (const char* header : {"track title", "color", "w", "start", "end", "duration", "km", "km/h", "np", "dp"}) {
        at = lines[0].find(header, at);
        EXPECT_NE(at, std::string::npos) << header;
    }
    EXPECT_EQ(lines[0].substr(lines[0].size() - 2), "f#");
    EXPECT_EQ(lines[1].rfind(" 1 ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("  Say \"hi\" & go  "), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("2023-01-15 09:30:00"), std::string::npos);
    EXPECT_NE(lines[1].find(" 09:32:30 "), std::string::npos);
    EXPECT_NE(lines[1].find(" 2:30 "), std::string::npos);
    EXPECT_EQ(lines[2].rfind(" 2 ", 0), 0u) << lines[2];
    EXPECT_NE(lines[2].find("  Zürich–東京 ™  "), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find(" 1:10 "), std::string::npos);
    EXPECT_EQ(lines[3].rfind("total", 0), 0u) << lines[3];
    EXPECT_NE(lines[3].find(" 3:40 "), std::string::npos) << lines[3];
    // The last column is right-aligned, so every full line ends in the same
    // terminal column.
    EXPECT_EQ(DisplayWidth(lines[1]), DisplayWidth(lines[0]));
    EXPECT_EQ(DisplayWidth(lines[2]), DisplayWidth(lines[0]));
    // In the total row the np column ends where its header ends.
    size_t npEnd = lines[0].find(" np ") + 3;
    EXPECT_EQ(lines[3].substr(npEnd - 2, 2), " 5") << lines[3];
}

TEST_F(Cli, PointsWritesOneCsvLinePerPoint) {
    std::string out, err;
    ASSERT_EQ(Run("points " + IniArg() + " tracks.gpx", &out, &err), 0) << err;
    std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 6u) << out;
    EXPECT_EQ(lines[0], kHeader);
    EXPECT_EQ(out.find('\r'), std::string::npos);
    std::vector<std::string> first = SplitCsv(lines[1]);
    ASSERT_EQ(first.size(), 11u);
    EXPECT_EQ(first[0], "0");
    EXPECT_EQ(first[1], "0");
    EXPECT_EQ(first[2], "35.681234500");
    EXPECT_EQ(first[3], "139.767123400");
    EXPECT_EQ(first[4], "40.5");
    EXPECT_EQ(first[5], "40.5");  // no geoid model
    EXPECT_EQ(first[6], "0");
    EXPECT_EQ(first[7], "0");
    EXPECT_EQ(first[9], std::to_string(UtcFromCivil(2023, 1, 15, 9, 30, 0)));
    EXPECT_EQ(first[10], "1");
    std::vector<std::string> fourth = SplitCsv(lines[4]);
    ASSERT_EQ(fourth.size(), 11u);
    EXPECT_EQ(fourth[0], "3");
    EXPECT_EQ(fourth[1], "1");
    EXPECT_EQ(fourth[2], "-33.856784400");
    EXPECT_EQ(fourth[4], "5");
    EXPECT_EQ(fourth[9], std::to_string(UtcFromCivil(2023, 1, 16, 23, 59, 30)));
    // The distance runs on over the whole store.
    EXPECT_GT(std::strtod(SplitCsv(lines[3])[7].c_str(), nullptr), 0.25);
}

TEST_F(Cli, ExitStatusIsTheLastFailedLoad) {
    test::WriteFile(scratch_ / "work" / "notes.foo", "nothing to see\nhere\n");
    std::string out, err;
    EXPECT_EQ(Run("info --json " + IniArg() + " tracks.gpx notes.foo tracks.gpx", &out, &err), 2);
    EXPECT_EQ(CountLines(err), 1u) << err;
    Json info = ParseJson(out);
    ASSERT_EQ(info["loadResults"].items.size(), 3u);
    EXPECT_EQ(info["loadResults"].items[0].Integer(), 0);
    EXPECT_EQ(info["loadResults"].items[1].Integer(), 2);
    EXPECT_EQ(info["loadResults"].items[2].Integer(), 0);
    EXPECT_EQ(info["trackCount"].Integer(), 4);
    EXPECT_EQ(info["fileCount"].Integer(), 2);
    ASSERT_EQ(info["tracks"].items.size(), 4u);
    EXPECT_EQ(info["tracks"].items[2]["fileIndex"].Integer(), 1);
    EXPECT_EQ(info["tracks"].items[2]["firstIndex"].Integer(), 5);
}

TEST_F(Cli, EverySampleGpxLoads) {
    TRAKVIO_REQUIRE_SAMPLES();
    int files = 0;
    for (const auto& entry : fs::directory_iterator(test::SamplesDir() / "gpx")) {
        if (entry.path().extension() != ".gpx") continue;
        ++files;
        const std::string path = Quote(entry.path().string());
        std::string out, err;
        ASSERT_EQ(Run("info --json " + IniArg() + " " + path, &out, &err), 0) << entry.path() << "\n" << err;
        Json info = ParseJson(out);
        const int64_t pointCount = info["pointCount"].Integer();
        EXPECT_EQ(info["tracks"].items.size(), static_cast<size_t>(info["trackCount"].Integer())) << entry.path();
        ASSERT_EQ(Run("points " + IniArg() + " " + path, &out, &err), 0) << entry.path() << "\n" << err;
        EXPECT_EQ(static_cast<int64_t>(CountLines(out)) - 1, pointCount) << entry.path();
    }
    EXPECT_GE(files, 10);
}

TEST_F(Cli, GarminConnectPointsMatchTheReference) {
    TRAKVIO_REQUIRE_SAMPLES();
    const fs::path folder = test::SamplesDir() / "gpx";
    std::vector<std::string> reference = Lines(test::ReadFile(folder / "garminconnect.csv"));
    ASSERT_FALSE(reference.empty());
    std::map<std::string, size_t> column;
    std::vector<std::string> names = SplitCsv(reference[0]);
    for (size_t k = 0; k < names.size(); ++k) column[names[k]] = k;
    for (const char* name : {"Latitude", "Longitude", "Altitude", "Date", "Time"}) {
        ASSERT_TRUE(column.count(name)) << name;
    }

    std::string out, err;
    ASSERT_EQ(Run("points " + IniArg() + " " + Quote((folder / "garminconnect.gpx").string()), &out, &err), 0) << err;
    std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(reference.size(), 69u);
    ASSERT_EQ(lines.size(), reference.size());
    for (size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> mine = SplitCsv(lines[i]);
        std::vector<std::string> theirs = SplitCsv(reference[i]);
        ASSERT_EQ(mine.size(), 11u);
        // The reference rounds to 6 decimals (coordinates) and 1 (altitude).
        EXPECT_NEAR(std::strtod(mine[2].c_str(), nullptr), std::strtod(theirs[column["Latitude"]].c_str(), nullptr),
                    5.01e-7)
            << i;
        EXPECT_NEAR(std::strtod(mine[3].c_str(), nullptr), std::strtod(theirs[column["Longitude"]].c_str(), nullptr),
                    5.01e-7)
            << i;
        EXPECT_NEAR(std::strtod(mine[4].c_str(), nullptr), std::strtod(theirs[column["Altitude"]].c_str(), nullptr),
                    0.0501)
            << i;
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
        ASSERT_EQ(std::sscanf(theirs[column["Date"]].c_str(), "%d/%d/%d", &year, &month, &day), 3);
        ASSERT_EQ(std::sscanf(theirs[column["Time"]].c_str(), "%d:%d:%d", &hour, &minute, &second), 3);
        EXPECT_EQ(mine[9], std::to_string(UtcFromCivil(year, month, day, hour, minute, second))) << i;
        EXPECT_EQ(mine[10], "1");
    }
}

}  // namespace
}  // namespace trakvio
