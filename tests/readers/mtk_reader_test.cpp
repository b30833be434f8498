// MTK logger dumps: images built byte by byte here, loaded through the loader
// or decoded directly, and real logger dumps compared with GPSBabel's reading
// of them.
#include "readers/mtk_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/local_time.h"
#include "readers/log_loader.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::MessageCatcher;
using test::ScratchFolder;
using test::WriteFile;

constexpr uint32_t kBasic = 0x6007F;  // time, valid, lat, lon, height, speed, heading, reason, ms

template <typename T>
void Put(std::string& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, sizeof(T));
}

// Appends a sector header; records follow it.
void Header(std::string& dump, uint32_t format) {
    size_t start = dump.size();
    Put<uint16_t>(dump, 0xFFFF);
    Put<uint32_t>(dump, format);
    Put<uint16_t>(dump, 0x0104);
    Put<uint32_t>(dump, 10);
    dump.resize(start + 508, '\xFF');
    dump.append(4, '\xBB');
}

void Mark(std::string& dump, uint8_t type, uint32_t data) {
    dump.append(7, '\xAA');
    dump.push_back(static_cast<char>(type));
    Put<uint32_t>(dump, data);
    dump.append(4, '\xBB');
}

struct Fix {
    uint32_t time;
    double lat, lon;
    float height, speed;
};

// A standard record of the given format with '*' and the XOR checksum;
// satellites > 0 writes that many satellite blocks.
void Record(std::string& dump, uint32_t format, const Fix& f, int satellites = 0) {
    std::string r;
    auto has = [format](int bit) { return (format >> bit & 1u) != 0; };
    if (has(0)) Put<uint32_t>(r, f.time);
    if (has(1)) Put<uint16_t>(r, 2);
    if (has(2)) Put<double>(r, f.lat);
    if (has(3)) Put<double>(r, f.lon);
    if (has(4)) Put<float>(r, f.height);
    if (has(5)) Put<float>(r, f.speed);
    if (has(6)) Put<float>(r, 90.0f);
    for (int bit = 7; bit <= 12; ++bit)
        if (has(bit)) r.append(bit == 8 ? 4 : 2, '\0');
    if (has(13)) {
        for (int s = 0; s < std::max(satellites, 1); ++s) {
            r.push_back(static_cast<char>(10 + s));  // id
            r.push_back(1);
            Put<uint16_t>(r, static_cast<uint16_t>(satellites));
            if (satellites == 0) break;
            if (has(14)) Put<uint16_t>(r, static_cast<uint16_t>(40 + s));
            if (has(15)) Put<uint16_t>(r, static_cast<uint16_t>(200 + s));
            if (has(16)) Put<uint16_t>(r, static_cast<uint16_t>(30 + s));
        }
    }
    if (has(17)) Put<uint16_t>(r, 1);
    if (has(18)) Put<uint16_t>(r, 250);
    if (has(19)) Put<double>(r, 12.5);
    char sum = 0;
    for (char c : r) sum ^= c;
    dump += r;
    dump.push_back('*');
    dump.push_back(sum);
}

Fix NthFix(int i) {
    return {1700000000u + static_cast<uint32_t>(i), 35.0 + i * 1e-4, 139.0 + i * 1e-4, 10.0f + static_cast<float>(i),
            3.6f};
}

void Erased(std::string& dump) {
    dump.resize((dump.size() + kMtkSectorSize - 1) / kMtkSectorSize * kMtkSectorSize, '\xFF');
}

std::vector<MtkRecord> Decode(const std::string& dump) {
    std::vector<MtkRecord> records;
    DecodeMtkBuffer(reinterpret_cast<const unsigned char*>(dump.data()), dump.size(), records);
    return records;
}

struct Loaded {
    TrackStore store;
    Settings settings;
    int result = -1;
};

Loaded Load(const std::string& dump, int32_t capacity = 10000) {
    ScratchFolder folder;
    WriteFile(folder / "log.bin", dump);
    Loaded l;
    EXPECT_EQ(CreateTrackStore(l.store, capacity, 10), 0);
    l.result = LoadLogFile(l.store, l.settings, folder / "log.bin");
    return l;
}

TEST(MtkReader, PointsOfASectorThroughTheLoader) {
    std::string dump;
    Header(dump, kBasic);
    Mark(dump, 7, 0x0106);  // log mode: skipped
    for (int i = 0; i < 3; ++i) Record(dump, kBasic, NthFix(i));
    Erased(dump);
    Loaded l = Load(dump);
    ASSERT_EQ(l.result, kLoadDone);
    ASSERT_EQ(l.store.pointCount, 3);
    EXPECT_EQ(l.store.trackCount, 1);
    EXPECT_EQ(l.store.trackEnd[0], 2);
    const LogPoint& p = l.store.points[2];
    EXPECT_DOUBLE_EQ(p.latitude, 35.0002);
    EXPECT_DOUBLE_EQ(p.longitude, 139.0002);
    EXPECT_FLOAT_EQ(p.altitude, 12.0f);
    EXPECT_FLOAT_EQ(p.loggedSpeed, 3.6f);
    EXPECT_EQ(p.time, 1700000002);
    EXPECT_EQ(p.enabled, 1);
}

TEST(MtkReader, FullSectorsAndAnErasedSectorEndTheLog) {
    std::string dump;
    Header(dump, kBasic);
    for (int i = 0; i < 1625; ++i) Record(dump, kBasic, NthFix(i));
    EXPECT_EQ(dump.size(), kMtkSectorSize - 24);  // 40-byte records; the 24 bytes behind them are not decoded
    Erased(dump);
    Header(dump, kBasic);
    Record(dump, kBasic, NthFix(1625));
    Erased(dump);
    dump.append(kMtkSectorSize, '\xFF');  // erased: ends the log
    Header(dump, kBasic);
    Record(dump, kBasic, NthFix(9999));
    Erased(dump);
    auto records = Decode(dump);
    ASSERT_EQ(records.size(), 1626u);
    EXPECT_EQ(records[1625].time, 1700001625u);
    EXPECT_EQ(records[0].millisecond, 250);
    EXPECT_EQ(records[0].rcr, 1);
    EXPECT_EQ(Load(dump).store.pointCount, 1626);
}

TEST(MtkReader, FormatMarksDistanceAndSatellitesSetRecordLengths) {
    const uint32_t withSatellites = 0x000FF07D;  // time, lat..heading, nsat, satellites with ele/azi/snr, distance
    const uint32_t withDistance = kBasic | 1u << 19;
    std::string dump;
    Header(dump, kBasic);
    Record(dump, kBasic, NthFix(0));
    Mark(dump, 2, withSatellites);
    Record(dump, withSatellites, NthFix(1), 3);
    Record(dump, withSatellites, NthFix(2), 0);
    Mark(dump, 2, withDistance);
    Record(dump, withDistance, NthFix(3));
    Erased(dump);
    auto r = Decode(dump);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[1].format, withSatellites);
    EXPECT_EQ(r[1].elevation, 40);
    EXPECT_EQ(r[1].azimuth, 200);
    EXPECT_EQ(r[1].snr, 30);
    EXPECT_DOUBLE_EQ(r[1].distance, 12.5);
    EXPECT_EQ(r[2].time, 1700000002u);
    EXPECT_EQ(r[2].elevation, 0);
    EXPECT_DOUBLE_EQ(r[3].latitude, 35.0003);
    EXPECT_DOUBLE_EQ(r[3].distance, 12.5);
    EXPECT_EQ(r[3].valid, 2);
    // Fields the format lacks stay 0.
    EXPECT_EQ(r[0].distance, 0);
    EXPECT_EQ(r[2].valid, 0);
}

TEST(MtkReader, CutAndDamagedDumpsKeepWhatWasWhole) {
    std::string dump;
    Header(dump, kBasic);
    for (int i = 0; i < 5; ++i) Record(dump, kBasic, NthFix(i));
    Loaded cut = Load(dump.substr(0, dump.size() - 7));  // the last record cut short
    EXPECT_EQ(cut.result, kLoadDone);
    EXPECT_EQ(cut.store.pointCount, 4);
    EXPECT_EQ(Load(dump.substr(0, 300)).store.pointCount, 0);  // shorter than a header

    std::string erased(kMtkSectorSize, '\xFF');
    Loaded blank = Load(erased);
    EXPECT_EQ(blank.result, kLoadDone);
    EXPECT_EQ(blank.store.pointCount, 0);
    EXPECT_EQ(blank.store.trackCount, 1);

    std::string badMark = dump;
    badMark[509] = 0;
    EXPECT_TRUE(Decode(badMark).empty());

    // Every field bit, a huge satellite count and garbage: decoded within the bytes given.
    std::srand(7);
    for (uint32_t format : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0u}) {
        std::string garbage;
        Header(garbage, format);
        while (garbage.size() < 3000) garbage.push_back(static_cast<char>(std::rand()));
        for (size_t length : {garbage.size(), size_t{530}, size_t{513}}) {
            auto records = Decode(garbage.substr(0, length));
            EXPECT_LE(records.size(), length);
        }
    }
}

TEST(MtkReader, StopsAtThePointCapacity) {
    std::string dump;
    Header(dump, kBasic);
    for (int i = 0; i < 20; ++i) Record(dump, kBasic, NthFix(i));
    Erased(dump);
    MessageCatcher messages;
    Loaded l = Load(dump, 8);
    EXPECT_EQ(l.store.pointCount, 8);
    EXPECT_EQ(l.store.trackCount, 1);
    EXPECT_EQ(l.store.trackEnd[0], 7);
    EXPECT_FALSE(messages.messages().empty());
}

TEST(MtkReader, FirstTimeOfADump) {
    ScratchFolder folder;
    std::string dump;
    Header(dump, kBasic);
    Record(dump, kBasic, NthFix(4));
    Record(dump, kBasic, NthFix(5));
    WriteFile(folder / "a.bin", dump);
    WriteFile(folder / "empty.bin", std::string(kMtkSectorSize, '\xFF'));
    int64_t time = -1;
    EXPECT_FALSE(MtkFirstTime(folder / "empty.bin", time));
    EXPECT_FALSE(MtkFirstTime(folder / "missing.bin", time));
    EXPECT_EQ(time, -1);
    EXPECT_TRUE(MtkFirstTime(folder / "a.bin", time));
    EXPECT_EQ(time, 1700000004);
    std::vector<MtkRecord> records;
    EXPECT_EQ(DecodeMtkFile(folder / "missing.bin", records), 0);
}

// ---- Real dumps against GPSBabel's reading of them.

struct Reference {
    double lat, lon, ele;
    int64_t time;
};

// date as yyyy?mm?dd, time as hh:mm:ss (fractions dropped).
int64_t ParseTime(const char* date, const char* time) {
    return UtcFromCivil(std::atoi(date), std::atoi(date + 5), std::atoi(date + 8), std::atoi(time), std::atoi(time + 3),
                        std::atoi(time + 6));
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> cells(1);
    for (char c : line) {
        if (c == ',')
            cells.emplace_back();
        else if (c != '\r')
            cells.back().push_back(c);
    }
    return cells;
}

// GPSBabel's MTK CSV dump: DATE, TIME, LATITUDE, N/S, LONGITUDE, E/W, HEIGHT columns.
std::vector<Reference> ReadReferenceCsv(const std::string& text) {
    std::vector<Reference> rows;
    size_t pos = 0;
    std::vector<std::string> header;
    int date = -1, time = -1, lat = -1, lon = -1, height = -1;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        auto cells = Split(text.substr(pos, eol - pos));
        pos = eol + 1;
        if (header.empty()) {
            header = cells;
            for (size_t i = 0; i < cells.size(); ++i) {
                int k = static_cast<int>(i);
                if (cells[i] == "DATE") date = k;
                if (cells[i] == "TIME") time = k;
                if (cells[i] == "LATITUDE") lat = k;
                if (cells[i] == "LONGITUDE") lon = k;
                if (cells[i] == "HEIGHT") height = k;
            }
            continue;
        }
        if (cells.size() < header.size() - 1) continue;
        Reference r;
        r.lat = std::atof(cells[lat].c_str()) * (cells[lat + 1] == "S" ? -1 : 1);
        r.lon = std::atof(cells[lon].c_str()) * (cells[lon + 1] == "W" ? -1 : 1);
        r.ele = std::atof(cells[height].c_str());
        r.time = ParseTime(cells[date].c_str(), cells[time].c_str());
        rows.push_back(r);
    }
    return rows;
}

double Attribute(const std::string& text, size_t from, const char* name) {
    size_t at = text.find(name, from);
    return at == std::string::npos ? NAN : std::atof(text.c_str() + at + std::strlen(name));
}

// Track points of a GPX file in document order.
std::vector<Reference> ReadReferenceGpx(const std::string& text) {
    std::vector<Reference> rows;
    for (size_t at = text.find("<trkpt "); at != std::string::npos; at = text.find("<trkpt ", at + 1)) {
        Reference r;
        r.lat = Attribute(text, at, "lat=\"");
        r.lon = Attribute(text, at, "lon=\"");
        r.ele = Attribute(text, at, "<ele>");
        size_t t = text.find("<time>", at) + 6;
        r.time = ParseTime(text.c_str() + t, text.c_str() + t + 11);
        rows.push_back(r);
    }
    return rows;
}

void ExpectAgreement(const std::string& dump, const std::vector<Reference>& expected) {
    SCOPED_TRACE(dump);
    TrackStore store;
    Settings settings;
    ASSERT_EQ(CreateTrackStore(store, 20000, 10), 0);
    ASSERT_EQ(LoadLogFile(store, settings, test::SamplesDir() / "mtk" / dump), kLoadDone);
    ASSERT_EQ(store.pointCount, static_cast<int>(expected.size()));
    int mismatches = 0;
    for (int i = 0; i < store.pointCount && mismatches < 5; ++i) {
        const LogPoint& p = store.points[i];
        const Reference& e = expected[i];
        bool same = std::fabs(p.latitude - e.lat) < 1e-6 && std::fabs(p.longitude - e.lon) < 1e-6 &&
                    std::fabs(p.altitude - e.ele) < 2e-3 && p.time == e.time;
        if (!same) {
            ++mismatches;
            ADD_FAILURE() << "point " << i << ": " << p.latitude << "," << p.longitude << "," << p.altitude << ","
                          << p.time << " expected " << e.lat << "," << e.lon << "," << e.ele << "," << e.time;
        }
    }
}

TEST(MtkSamples, AgreeWithGpsBabel) {
    TRAKVIO_REQUIRE_SAMPLES();
    const auto dir = test::SamplesDir() / "mtk";
    ExpectAgreement("mtk_logger.bin", ReadReferenceCsv(test::ReadFile(dir / "mtk_logger.csv")));
    ExpectAgreement("mtk_logger_bt-qt1000xt.bin", ReadReferenceCsv(test::ReadFile(dir / "mtk_logger_bt-qt1000xt.csv")));
    ExpectAgreement("mtk_logger_m241.bin", ReadReferenceCsv(test::ReadFile(dir / "mtk_logger_m241.csv")));
    ExpectAgreement("mtk_logger_m241.bin", ReadReferenceGpx(test::ReadFile(dir / "mtk_logger_m241.gpx")));
    ExpectAgreement("mtk_logger_gp245.bin", ReadReferenceGpx(test::ReadFile(dir / "mtk_logger_gp245.gpx")));
    ExpectAgreement("mtk_logger_gp245_fw_v2.bin", ReadReferenceGpx(test::ReadFile(dir / "mtk_logger_gp245_fw_v2.gpx")));
}

std::vector<MtkRecord> DecodeSample(const char* name) {
    std::vector<MtkRecord> records;
    DecodeMtkFile(test::SamplesDir() / "mtk" / name, records);
    return records;
}

TEST(MtkSamples, OtherDumpsGiveTheirKnownValues) {
    TRAKVIO_REQUIRE_SAMPLES();
    auto iblue = DecodeSample("iBlue747_allfields.bin");  // bit 31 with standard records
    ASSERT_EQ(iblue.size(), 33u);
    EXPECT_EQ(iblue[1].time, 1217076501u);
    EXPECT_EQ(iblue[1].millisecond, 500);
    EXPECT_DOUBLE_EQ(iblue[1].latitude, 48.939801305310034);
    EXPECT_DOUBLE_EQ(iblue[1].longitude, 2.208577351858054);
    EXPECT_NEAR(iblue[1].height, 94.5177, 1e-4);
    EXPECT_NEAR(iblue[1].speed, 0.20044835, 1e-6);
    EXPECT_EQ(iblue[1].hdop, 199);
    EXPECT_EQ(iblue[1].vdop, 401);

    auto gpsport = DecodeSample("HoluxGPSport.bin");
    ASSERT_EQ(gpsport.size(), 181u);
    EXPECT_EQ(gpsport[1].time, 1235679127u);
    EXPECT_NEAR(gpsport[1].latitude, 33.87514877319336, 1e-12);
    EXPECT_NEAR(gpsport[1].longitude, -117.91815948486328, 1e-12);
    EXPECT_NEAR(gpsport[1].speed, 1.656, 1e-5);

    auto alt = DecodeSample("HoluxM1000C-alt.bin");
    auto altSpeed = DecodeSample("HoluxM1000C-alt_spd.bin");
    auto speed = DecodeSample("HoluxM1000C-spd.bin");
    ASSERT_EQ(alt.size(), 9u);
    ASSERT_EQ(altSpeed.size(), 9u);
    ASSERT_EQ(speed.size(), 9u);
    EXPECT_FLOAT_EQ(alt[5].height, 299.828125f);
    EXPECT_FLOAT_EQ(altSpeed[7].height, 300.1875f);
    EXPECT_NEAR(altSpeed[7].speed, 0.828, 1e-5);
    EXPECT_NEAR(speed[8].speed, 0.036, 1e-6);
    EXPECT_EQ(speed[8].height, 0);

    auto raw = DecodeSample("raw.bin");  // Holux layout with a distance field
    ASSERT_EQ(raw.size(), 44u);
    EXPECT_EQ(raw.front().time, UtcFromCivil(2010, 2, 28, 21, 3, 7));
    EXPECT_EQ(raw.back().time, UtcFromCivil(2010, 2, 28, 21, 3, 49));
    EXPECT_NEAR(raw.front().latitude, 48.1336, 1e-4);

    auto multiple = DecodeSample("mtk_logger_m241_multiple_tracks.bin");
    ASSERT_EQ(multiple.size(), 14263u);
    EXPECT_NEAR(multiple.front().height, 72.8, 0.05);
    EXPECT_NEAR(multiple.back().height, 298.6, 0.05);
    EXPECT_NEAR(multiple.back().latitude, 48.950790, 1e-6);
    EXPECT_EQ(multiple.back().time, UtcFromCivil(2015, 4, 7, 17, 36, 36));
}

}  // namespace
}  // namespace trakvio
