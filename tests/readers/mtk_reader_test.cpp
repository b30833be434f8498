// MTK logger dumps: images built byte by byte here and loaded or decoded, and
// real logger dumps compared with GPSBabel's reading of them.
#include "readers/mtk_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "archive/load_front_end.h"
#include "platform/local_time.h"
#include "readers/log_builders.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::AppendMtkHeader;
using test::AppendMtkRecord;
using test::MtkPosition;
using test::PadMtkSector;
using test::PutBytes;
using test::ScratchFolder;
using test::WriteFile;

constexpr uint32_t kBasic = 0x6007F;  // time, valid, lat, lon, height, speed, heading, reason, ms

void Mark(std::string& dump, uint8_t type, uint32_t data) {
    dump += std::string(7, '\xAA') + static_cast<char>(type);
    PutBytes<uint32_t>(dump, data);
    dump.append(4, '\xBB');
}

std::vector<MtkRecord> Decode(const std::string& dump) {
    std::vector<MtkRecord> records;
    DecodeMtkBuffer(reinterpret_cast<const unsigned char*>(dump.data()), dump.size(), records);
    return records;
}

std::unique_ptr<test::Loader> Load(const std::string& dump) {
    ScratchFolder folder;
    WriteFile(folder / "log.bin", dump);
    auto l = std::make_unique<test::Loader>(10000, 10);
    EXPECT_EQ(LoadLogFile(l->store, l->settings, folder / "log.bin"), kLoadDone);
    return l;
}

TEST(MtkReader, SectorsLoadAsOneTrackUntilAnErasedSector) {
    std::string dump;
    AppendMtkHeader(dump, kBasic);
    for (int i = 0; i < 1625; ++i) AppendMtkRecord(dump, kBasic, i);
    EXPECT_EQ(dump.size(), kMtkSectorSize - 24);  // the 24 bytes behind the last record are not decoded
    PadMtkSector(dump);
    AppendMtkHeader(dump, kBasic);
    AppendMtkRecord(dump, kBasic, 1625);
    PadMtkSector(dump);
    dump.append(kMtkSectorSize, '\xFF');  // erased: ends the log
    AppendMtkHeader(dump, kBasic);
    AppendMtkRecord(dump, kBasic, 9999);
    PadMtkSector(dump);
    auto l = Load(dump);
    ASSERT_EQ(l->store.pointCount, 1626);
    EXPECT_EQ(l->store.trackCount, 1);
    EXPECT_EQ(l->store.trackEnd[0], 1625);
    const auto points = test::PointTexts(l->store);
    EXPECT_EQ(points[2], "35.0002,139.0002 12m 3.6km/h 2023-11-14T22:13:22");
    EXPECT_EQ(points[1625], "35.1625,139.1625 1635m 3.6km/h 2023-11-14T22:40:25");
}

TEST(MtkReader, FormatMarksDistanceAndSatellitesSetRecordLengths) {
    const uint32_t withSatellites = 0x000FF07D;  // time, lat..heading, nsat, satellites with ele/azi/snr, distance
    const uint32_t withDistance = kBasic | 1u << 19;
    std::string dump;
    AppendMtkHeader(dump, kBasic);
    AppendMtkRecord(dump, kBasic, 0);
    Mark(dump, 7, 0x0106);  // log mode: skipped
    Mark(dump, 2, withSatellites);
    AppendMtkRecord(dump, withSatellites, 1, 3);
    AppendMtkRecord(dump, withSatellites, 2, 0);
    Mark(dump, 2, withDistance);
    AppendMtkRecord(dump, withDistance, 3);
    PadMtkSector(dump);
    auto r = Decode(dump);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[1].snr, 30);
    EXPECT_DOUBLE_EQ(r[1].distance, 12.5);
    EXPECT_EQ(r[2].time, 1700000002u);
    EXPECT_DOUBLE_EQ(r[3].latitude, 35.0003);
    EXPECT_DOUBLE_EQ(r[3].distance, 12.5);
    EXPECT_EQ(r[3].millisecond, 250);
    EXPECT_EQ(r[0].distance, 0);  // fields the format lacks stay 0
    EXPECT_EQ(r[2].valid, 0);
}

TEST(MtkReader, CutAndDamagedDumpsKeepWhatWasWhole) {
    std::string dump;
    AppendMtkHeader(dump, kBasic);
    for (int i = 0; i < 5; ++i) AppendMtkRecord(dump, kBasic, i);
    EXPECT_EQ(Load(dump.substr(0, dump.size() - 7))->store.pointCount, 4);      // the last record cut short
    EXPECT_EQ(Load(dump.substr(0, 300))->store.pointCount, 0);                  // shorter than a header
    EXPECT_EQ(Load(std::string(kMtkSectorSize, '\xFF'))->store.pointCount, 0);  // erased only
    dump[509] = 0;                                                              // header end mark broken
    EXPECT_TRUE(Decode(dump).empty());

    // Every field bit, a huge satellite count and garbage: decoded within the bytes given.
    std::srand(7);
    for (uint32_t format : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0u}) {
        std::string garbage;
        AppendMtkHeader(garbage, format);
        while (garbage.size() < 3000) garbage.push_back(static_cast<char>(std::rand()));
        for (size_t length : {garbage.size(), size_t{530}, size_t{513}})
            EXPECT_LE(Decode(garbage.substr(0, length)).size(), length);
    }
}

TEST(MtkSamples, HoluxAltitudeAndSpeedLayout) {
    TRAKVIO_REQUIRE_SAMPLES();
    std::vector<MtkRecord> records;
    DecodeMtkFile(test::SamplesDir() / "mtk" / "HoluxM1000C-alt_spd.bin", records);
    ASSERT_EQ(records.size(), 9u);
    EXPECT_FLOAT_EQ(records[7].height, 300.1875f);
    EXPECT_NEAR(records[7].speed, 0.828, 1e-5);
}

}  // namespace
}  // namespace trakvio
