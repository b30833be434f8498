// NMEA logs written here and real receiver logs, loaded through the loader and
// compared with the values a user would see and with GPSBabel's reading.
#include "readers/nmea_reader.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/local_time.h"
#include "readers/log_loader.h"
#include "test_support.h"

namespace trakvio {
namespace {

// "$body*hh" with its checksum and a CR LF.
std::string S(const std::string& body) {
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

struct Loaded {
    TrackStore store;
    Settings settings;
    int result = -1;
    const LogPoint& operator[](int i) const { return store.points[i]; }
    int count() const { return store.pointCount; }
};

std::unique_ptr<Loaded> Load(const std::string& text, int32_t maxPoints = 1000) {
    test::ScratchFolder folder;
    auto path = folder / "log.nmea";
    test::WriteFile(path, text);
    auto l = std::make_unique<Loaded>();
    EXPECT_EQ(CreateTrackStore(l->store, maxPoints, 10), 0);
    l->result = LoadLogFile(l->store, l->settings, path);
    return l;
}

std::string Rmc(const char* time, char status, const char* position, const char* knots = "0.00",
                const char* date = "070804", const char* talker = "GP") {
    return S(std::string(talker) + "RMC," + time + "," + status + "," + position + "," + knots + ",90.0," + date +
             ",,,A");
}
std::string Gga(const char* time, const char* position, const char* altitude = "209.8",
                const char* separation = "-34.2", const char* talker = "GP") {
    return S(std::string(talker) + "GGA," + time + "," + position + ",1,05,1.6," + altitude + ",M," + separation +
             ",M,,");
}
std::string Zda(const char* time, const char* date = "07,08,2004") {
    return S(std::string("GPZDA,") + time + "," + date + ",00,00");
}

constexpr const char* kHere = "4231.8291,N,08807.3033,W";
constexpr const char* kThere = "4231.8300,N,08807.3000,W";
const int64_t kMidnight = UtcFromCivil(2004, 8, 7, 0, 0, 0);
const int64_t kAt0329 = kMidnight + 3 * 3600 + 29 * 60;

TEST(NmeaReader, RmcAndGgaPairsGiveOnePointPerFix) {
    auto l = Load("Log of a receiver\n" + Gga("032908.000", kHere) + Rmc("032908.000", 'A', kHere, "10.0") +
                  S("GPGSV,1,1,01,28,64,316,40") + Gga("032909.000", "4231.8300,S,08807.3000,E", "10.5", "2.0") +
                  Rmc("032909.000", 'A', "4231.8300,S,08807.3000,E", "0.50"));
    ASSERT_EQ(l->result, kLoadDone);
    EXPECT_EQ(l->store.loadKind, kKindNmea);
    ASSERT_EQ(l->count(), 2);
    EXPECT_NEAR((*l)[0].latitude, 42 + 31.8291 / 60, 1e-12);
    EXPECT_NEAR((*l)[0].longitude, -(88 + 7.3033 / 60), 1e-12);
    EXPECT_FLOAT_EQ((*l)[0].altitude, 209.8f - 34.2f);  // height above the ellipsoid
    EXPECT_FLOAT_EQ((*l)[0].loggedSpeed, 18.52f);
    EXPECT_EQ((*l)[0].time, kAt0329 + 8);
    EXPECT_EQ((*l)[0].enabled, 1);
    EXPECT_LT((*l)[1].latitude, 0);
    EXPECT_GT((*l)[1].longitude, 0);
    EXPECT_FLOAT_EQ((*l)[1].altitude, 12.5f);
    EXPECT_EQ((*l)[1].time, kAt0329 + 9);
    EXPECT_EQ(l->store.trackCount, 1);
}

TEST(NmeaReader, FractionsRoundHalfUpIntoTheNextDay) {
    auto l = Load("\n" + Rmc("235959.600", 'A', kHere, "0", "311223") + Rmc("120000.499", 'A', kHere, "0", "010124"));
    ASSERT_EQ(l->count(), 2);
    EXPECT_EQ((*l)[0].time, UtcFromCivil(2024, 1, 1, 0, 0, 0));
    EXPECT_EQ((*l)[1].time, UtcFromCivil(2024, 1, 1, 12, 0, 0));
    EXPECT_FLOAT_EQ((*l)[0].altitude, 0);  // no GGA in the fix
}

TEST(NmeaReader, OnlyValidOrDatedFixesWithAPositionStay) {
    // A void fix leaves no point; GGA alone keeps nothing.
    auto l = Load("\n" + Gga("032908", kHere) + Rmc("032908", 'V', kHere) + Gga("032909", kThere) +
                  Rmc("032909", 'A', kThere) + Gga("032910", kHere));
    ASSERT_EQ(l->count(), 1);
    EXPECT_NEAR((*l)[0].latitude, 42 + 31.83 / 60, 1e-12);
    EXPECT_EQ(Load("\n" + Gga("032908", kHere) + Gga("032909", kHere))->count(), 0);

    // GGA with ZDA: the ZDA dates the fix and the point is enabled.
    auto dated = Load("\n" + Gga("032908.00", kHere) + Zda("032908.00") + Gga("032909.00", kHere));
    ASSERT_EQ(dated->count(), 1);
    EXPECT_EQ((*dated)[0].time, kAt0329 + 8);
    EXPECT_EQ((*dated)[0].enabled, 1);

    // A void fix that a ZDA dates stays, disabled, when it has a position;
    // without one (the receiver lost lock) it is dropped.
    auto lost = Load("\n" + Gga("032908", kHere) + Rmc("032908", 'A', kHere) + Zda("032908") + Gga("032909", kThere) +
                     Rmc("032909", 'V', kThere) + Zda("032909") + S("GPGGA,032910,,,,,0,0,,,M,,M,,") +
                     Rmc("032910", 'V', ",,,") + Zda("032910"));
    ASSERT_EQ(lost->count(), 2);
    EXPECT_EQ((*lost)[0].enabled, 1);
    EXPECT_EQ((*lost)[1].enabled, 0);
}

TEST(NmeaReader, ZdaWithAnotherFractionJoinsTheFixOfItsSecond) {
    // The receiver stamps ZDA on the whole second and RMC/GGA at .379.
    std::string log = "\n";
    for (const char* second : {"08", "09", "10"}) {
        std::string whole = std::string("0329") + second, fraction = whole + ".379";
        log += Zda(whole.c_str()) + Gga(fraction.c_str(), kHere) + Rmc(fraction.c_str(), 'A', kHere);
    }
    auto l = Load(log);
    ASSERT_EQ(l->count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ((*l)[i].time, kAt0329 + 8 + i);
        EXPECT_NEAR((*l)[i].latitude, 42 + 31.8291 / 60, 1e-12);
    }
    // Without RMC the ZDA alone dates the GGA fix of its second.
    auto ggaOnly = Load("\n" + Zda("032908") + Gga("032908.379", kHere) + Zda("032909") + Gga("032909.379", kThere));
    ASSERT_EQ(ggaOnly->count(), 2);
    EXPECT_EQ((*ggaOnly)[1].time, kAt0329 + 9);
    EXPECT_NEAR((*ggaOnly)[1].latitude, 42 + 31.83 / 60, 1e-12);
}

TEST(NmeaReader, NothingCarriesOverFromAnEarlierFix) {
    // The second fix has a GLL position and a ZDA: neither the altitude and
    // speed of the first fix nor the position of a void fix may leak into it.
    auto l =
        Load("\n" + Gga("032908", kHere, "500", "0") + Rmc("032908", 'A', kHere, "20") + Rmc("032909", 'V', kThere) +
             S("GPGLL,4231.9000,N,08807.3100,W,032910,A,A") + Zda("032910") + Rmc("032911", 'A', ",,,"));
    ASSERT_EQ(l->count(), 2);
    EXPECT_NEAR((*l)[1].latitude, 42 + 31.9 / 60, 1e-12);
    EXPECT_FLOAT_EQ((*l)[1].altitude, 0);
    EXPECT_FLOAT_EQ((*l)[1].loggedSpeed, 0);
    EXPECT_EQ((*l)[1].time, kAt0329 + 10);
}

TEST(NmeaReader, AnyGnssTalkerAndAnyLineEnd) {
    std::string crcrlf = Rmc("032908", 'A', kHere, "0", "070804", "GN");
    crcrlf.insert(crcrlf.size() - 2, "\r");
    std::string lowerCase = Rmc("032910", 'A', kHere, "0", "070804", "GA");
    for (size_t i = lowerCase.size() - 4; i < lowerCase.size() - 2; ++i)
        lowerCase[i] = static_cast<char>(std::tolower(lowerCase[i]));
    auto l = Load("\n" + crcrlf + "$GLRMC,032909,A,4231.8291,N,08807.3033,W,0,0,070804,,,A\n" + lowerCase +
                  "$BDRMC,032911,A,4231.8291,N,08807.3033,W,0,0,070804,,,A\n" +
                  "$PMTK001,604,3*32\n$GPRMC,032912,A,4231.8291,N,08807.3033,W,0,0,070804,,,A");
    ASSERT_EQ(l->count(), 4);
    EXPECT_EQ((*l)[1].time, kAt0329 + 9);
    EXPECT_EQ((*l)[3].time, kAt0329 + 12);
}

TEST(NmeaReader, DamagedSentencesAreSkipped) {
    std::string badChecksum = Rmc("032909", 'A', kThere);
    badChecksum[badChecksum.size() - 3] ^= 1;
    const char kGarbage[] = "\x00\xff\x13$G\x01\xfe$GPRMC\n$GPGGA,\n$GP\nGA,0329";
    std::string garbage(kGarbage, sizeof kGarbage - 1);
    auto l = Load("\n" + Rmc("032908", 'A', kHere) + badChecksum + garbage + "\n" +
                  S("GPGGA,032910,4231.8291,N,08807.3033,W,1,999,0.9,10,M,0,M,,") +
                  S("GPGSV,9,9,999,01,99,999,99,02,-5,400,200") + Rmc("032910", 'A', kHere) +
                  Rmc("032911", 'A', "9931.0000,N,08807.3033,W") + Rmc("256099", 'A', kHere) +
                  Rmc("032912", 'A', "4231.8291,N,08807.3033,X") + std::string(3000, 'x') + "\n" +
                  "$GPRMC,032913,A,4231.8291,N,08807.3033,W,0.0,0.0,0708" + std::string(2000, ',') + "\n" +
                  "$GPRMC,032914,A,4231.82");
    ASSERT_EQ(l->result, kLoadDone);
    ASSERT_EQ(l->count(), 2);
    EXPECT_EQ((*l)[0].time, kAt0329 + 8);
    EXPECT_EQ((*l)[1].time, kAt0329 + 10);
    EXPECT_FLOAT_EQ((*l)[1].altitude, 10);
}

TEST(NmeaReader, StopsAtThePointCapacity) {
    std::string log = "\n";
    for (int s = 0; s < 8; ++s) {
        std::string time = "03290" + std::to_string(s);
        log += Gga(time.c_str(), kHere) + Rmc(time.c_str(), 'A', kHere);
    }
    test::MessageCatcher messages;
    auto l = Load(log, 5);
    EXPECT_EQ(l->count(), 5);
    EXPECT_EQ(l->store.trackCount, 1);
    EXPECT_EQ(l->store.trackEnd[0], 4);
    EXPECT_EQ((*l)[4].time, kAt0329 + 4);
    EXPECT_TRUE(messages.Saw("track store is full"));

    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 3, 2), 0);
    EXPECT_EQ(ReadNmeaBuffer(store, log.c_str(), log.size()), kReaderCut);
    EXPECT_EQ(store.pointCount, 3);
}

TEST(NmeaReader, FirstFixTime) {
    test::ScratchFolder folder;
    auto path = folder / "a.nmea";
    test::WriteFile(path, Rmc("032907.900", 'V', kHere) + Gga("032908.900", kHere) + Rmc("032908.900", 'A', kHere) +
                              Rmc("032909", 'A', kHere));
    int64_t time = -1;
    EXPECT_EQ(NmeaFirstFixTime(path, time), kNmeaFirstFixFound);
    EXPECT_EQ(time, kAt0329 + 8);  // the fraction is dropped, not rounded
    test::WriteFile(path, Rmc("032907", 'V', kHere));
    EXPECT_EQ(NmeaFirstFixTime(path, time), kNmeaFirstFixNone);
    EXPECT_EQ(NmeaFirstFixTime(folder / "missing.nmea", time), kNmeaFirstFixCannotOpen);
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 10, 2), 0);
    EXPECT_EQ(ReadNmea(store, folder / "missing.nmea"), kReaderCannotOpen);
}

// Real logs. A reference point: position and time in milliseconds.
struct Reference {
    double latitude, longitude;
    int64_t ms;
    double altitude;  // NaN when absent
};

int64_t MsFrom(int y, int mo, int d, int h, int mi, double s) {
    return UtcFromCivil(y, mo, d, h, mi, 0) * 1000 + static_cast<int64_t>(std::llround(s * 1000));
}

// Track points of a GPX that GPSBabel wrote (points dated 1970 left out).
std::vector<Reference> ReadGpxReference(const std::string& gpx) {
    std::vector<Reference> out;
    for (size_t at = gpx.find("<trkpt"); at != std::string::npos; at = gpx.find("<trkpt", at + 1)) {
        size_t close = gpx.find("</trkpt>", at);
        std::string point = gpx.substr(at, close - at);
        Reference r{0, 0, -1, NAN};
        std::sscanf(point.c_str(), "<trkpt lat=\"%lf\" lon=\"%lf\"", &r.latitude, &r.longitude);
        if (size_t e = point.find("<ele>"); e != std::string::npos) r.altitude = std::stod(point.substr(e + 5));
        int y, mo, d, h, mi;
        double s;
        size_t t = point.find("<time>");
        if (t != std::string::npos &&
            std::sscanf(point.c_str() + t + 6, "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &s) == 6 && y > 1970)
            out.push_back({r.latitude, r.longitude, MsFrom(y, mo, d, h, mi, s), r.altitude});
    }
    return out;
}

// Rows of GPSBabel's unicsv output (rows dated 00:00:00 left out: GPSBabel's
// mark for a time it could not read).
std::vector<Reference> ReadCsvReference(const std::string& csv) {
    std::vector<Reference> out;
    std::istringstream in(csv);
    std::string line, header;
    std::getline(in, header);
    int dateColumn = 0;
    for (size_t at = 0, column = 0; at < header.size(); ++at) {
        if (header.compare(at, 5, ",Date") == 0) dateColumn = static_cast<int>(column + 1);
        if (header[at] == ',') ++column;
    }
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream row(line);
        for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
        int y, mo, d, h, mi;
        double s;
        if (static_cast<int>(cells.size()) < dateColumn + 2 ||
            std::sscanf(cells[dateColumn].c_str(), "%d/%d/%d", &y, &mo, &d) != 3 ||
            std::sscanf(cells[dateColumn + 1].c_str(), "%d:%d:%lf", &h, &mi, &s) != 3 || (h == 0 && mi == 0 && s == 0))
            continue;
        out.push_back({std::stod(cells[1]), std::stod(cells[2]), MsFrom(y, mo, d, h, mi, s), NAN});
    }
    return out;
}

std::unique_ptr<Loaded> LoadSample(const char* name) {
    auto l = std::make_unique<Loaded>();
    EXPECT_EQ(CreateTrackStore(l->store, 10000, 10), 0);
    l->result = ReadLogFile(l->store, l->settings, test::SamplesDir() / "nmea" / name, "NMEA", 1);
    return l;
}

// Every reference point is one of ours (each used once), at its position and
// with its time rounded half up to the second. Where RMC comes before GGA in a
// fix, GPSBabel gives the RMC's time the previous fix's position, so
// positions are compared to 2e-6 degrees (0.2 m; these logs barely move).
void ExpectReferencePoints(const Loaded& l, const std::vector<Reference>& reference, double separation = NAN) {
    constexpr double kTolerance = 2e-6;
    std::vector<bool> used(static_cast<size_t>(l.count()));
    for (const Reference& r : reference) {
        int64_t second = (r.ms + 500) / 1000;
        int i = 0;
        while (i < l.count() && (used[i] || l[i].time != second || std::fabs(l[i].latitude - r.latitude) > kTolerance ||
                                 std::fabs(l[i].longitude - r.longitude) > kTolerance))
            ++i;
        ASSERT_LT(i, l.count()) << "reference point at " << r.ms << " ms not found";
        used[i] = true;
        if (!std::isnan(separation) && !std::isnan(r.altitude)) {
            EXPECT_NEAR(l[i].altitude, r.altitude + separation, 0.06);
        }
    }
}

TEST(NmeaSamples, PointCountsOfRealLogs) {
    TRAKVIO_REQUIRE_SAMPLES();
    struct Expected {
        const char* file;
        int points;
    };
    // nmea: one point per fix although ZDA is stamped on the whole second;
    // nmea+ms: one per RMC with status A; nmeadatetime: the three sentences
    // with unreadable times are skipped; bu353: the void fixes it dates with
    // ZDA have no position; Skytraq: its repeated times merge into 73 fixes.
    for (Expected e : {Expected{"nmea", 154},
                       {"nmea+ms.txt", 30},
                       {"amod-nmea", 4},
                       {"nmeadatetime.nmea", 16},
                       {"bu353-glonass.log", 9},
                       {"ch-4711.log", 7},
                       {"ublox-zed-f9p-nmea.log", 29},
                       {"Skytraq.rmc.nmea", 73}}) {
        SCOPED_TRACE(e.file);
        auto l = LoadSample(e.file);
        ASSERT_EQ(l->result, kLoadDone);
        EXPECT_EQ(l->count(), e.points);
        for (int i = 0; i < l->count(); ++i) EXPECT_EQ((*l)[i].enabled, 1);
    }
}

TEST(NmeaSamples, AgreeWithGpsBabelReferenceOutputs) {
    TRAKVIO_REQUIRE_SAMPLES();
    auto dir = test::SamplesDir() / "nmea";
    {
        auto l = LoadSample("nmea");
        auto reference = ReadGpxReference(test::ReadFile(dir / "nmea.gpx"));
        ASSERT_EQ(reference.size(), 154u);
        ExpectReferencePoints(*l, reference, -34.2);
    }
    {
        auto l = LoadSample("amod-nmea");
        auto reference = ReadGpxReference(test::ReadFile(dir / "amod.gpx"));
        ASSERT_EQ(reference.size(), 4u);
        ExpectReferencePoints(*l, reference, -31.4);
        EXPECT_FLOAT_EQ((*l)[0].altitude, 0);  // RMC before any GGA
    }
    {
        // GPSBabel keeps the closing GGA without RMC (09:32:05.750); the
        // reader keeps only fixes an RMC or ZDA vouches for.
        auto l = LoadSample("nmea+ms.txt");
        auto reference = ReadGpxReference(test::ReadFile(dir / "nmea+ms.gpx"));
        ASSERT_EQ(reference.size(), 26u);
        reference.pop_back();
        ExpectReferencePoints(*l, reference);
    }
    {
        auto l = LoadSample("nmeadatetime.nmea");
        auto reference = ReadCsvReference(test::ReadFile(dir / "nmeadatetime.csv"));
        ASSERT_EQ(reference.size(), 16u);
        ExpectReferencePoints(*l, reference);
    }
}

TEST(NmeaSamples, AgreeWithGpsBabel) {
    TRAKVIO_REQUIRE_SAMPLES();
    std::string out;
    if (test::RunCommand("command -v gpsbabel", &out) != 0) GTEST_SKIP() << "gpsbabel is not installed";
    for (const char* file : {"bu353-glonass.log", "ch-4711.log", "ublox-zed-f9p-nmea.log"}) {
        SCOPED_TRACE(file);
        std::string csv;
        auto path = test::SamplesDir() / "nmea" / file;
        ASSERT_EQ(test::RunCommand("TZ=UTC gpsbabel -t -i nmea -f '" + path.string() + "' -o unicsv,utc=0 -F -", &csv),
                  0);
        auto reference = ReadCsvReference(csv);
        auto l = LoadSample(file);
        ASSERT_EQ(static_cast<size_t>(l->count()), reference.size());
        ExpectReferencePoints(*l, reference);
    }
}

}  // namespace
}  // namespace trakvio
