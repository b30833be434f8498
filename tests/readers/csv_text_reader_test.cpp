// CSV text logs written here and two real phone-app logs, loaded through the
// loader and compared with the values a user would see.
#include "readers/csv_text_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/local_time.h"
#include "readers/log_loader.h"
#include "test_support.h"

namespace trakvio {
namespace {

constexpr const char* kHeader =
    "type,date time,latitude,longitude,accuracy(m),altitude(m),geoid_height(m),speed(m/s),bearing(deg),sat_used,"
    "sat_inview,name,desc\r\n";

struct Loaded {
    TrackStore store;
    Settings settings;
    int result = -1;
    const LogPoint& operator[](int i) const { return store.points[i]; }
};

std::unique_ptr<Loaded> Load(const std::string& text, int32_t maxPoints = 1000) {
    test::ScratchFolder folder;
    auto path = folder / "log.txt";
    test::WriteFile(path, text);
    auto l = std::make_unique<Loaded>();
    EXPECT_EQ(CreateTrackStore(l->store, maxPoints, 10), 0);
    l->result = LoadLogFile(l->store, l->settings, path);
    return l;
}

TEST(CsvTextReader, DataLinesBecomePointsFoundByTheHeader) {
    auto l = Load(std::string(kHeader) + "T,2024-05-01 08:30:00,35.1,139.2,5,40,36.7,1.5,90,7,12,,\r\n" +
                  "W,2024-05-01 08:31:00,35.2,139.3,5,40,36.7,1.5,90,7,12,Home,a waypoint\r\n" +
                  "T,2024-05-01 08:30:01.750,-35.25,-139.5,5,-12.5,0,0,,,,,\n");
    ASSERT_EQ(l->result, kLoadDone);
    EXPECT_EQ(l->store.loadKind, kKindCsvText);
    EXPECT_EQ(l->store.fileKinds[0], kKindCsvText);
    ASSERT_EQ(l->store.pointCount, 2);
    EXPECT_EQ((*l)[0].time, UtcFromCivil(2024, 5, 1, 8, 30, 0));
    EXPECT_DOUBLE_EQ((*l)[0].latitude, 35.1);
    EXPECT_DOUBLE_EQ((*l)[0].longitude, 139.2);
    EXPECT_FLOAT_EQ((*l)[0].altitude, 76.7f);
    EXPECT_FLOAT_EQ((*l)[0].loggedSpeed, 5.4f);
    EXPECT_EQ((*l)[0].enabled, 1);
    EXPECT_EQ((*l)[1].time, UtcFromCivil(2024, 5, 1, 8, 30, 1));  // the fraction is dropped
    EXPECT_DOUBLE_EQ((*l)[1].latitude, -35.25);
    EXPECT_FLOAT_EQ((*l)[1].altitude, -12.5f);
    EXPECT_EQ(l->store.trackCount, 1);
}

TEST(CsvTextReader, LinesWithoutTimeOrPositionAreSkipped) {
    auto l = Load(std::string(kHeader) + "T,2024-05-01 08:30:00,35.1,139.2\n" +  // cut after the position
                  "T,2024-05-01 08:30:01,,139.2,5,40,36.7,1.5\n" + "T,2024-13-01 08:30:02,35.1,139.2,5,40,0,0\n" +
                  "T,garbage\x01\xff\n" + "T,2024-05-01 08:30:03,95.0,139.2,5,40,0,0\n" + "T,\n" +
                  "T,2024-05-01 08:30:04,35.1x,139.2,5,40,0,0\n" + "T,2024-05-01 08:30:05,35.1,139.2,5,4");
    ASSERT_EQ(l->store.pointCount, 2);
    EXPECT_FLOAT_EQ((*l)[0].altitude, 0);
    EXPECT_FLOAT_EQ((*l)[0].loggedSpeed, 0);
    EXPECT_EQ((*l)[1].time, UtcFromCivil(2024, 5, 1, 8, 30, 5));
    EXPECT_FLOAT_EQ((*l)[1].altitude, 4);
}

TEST(CsvTextReader, StopsAtThePointCapacity) {
    std::string log = kHeader;
    for (int s = 0; s < 9; ++s) log += "T,2024-05-01 08:30:0" + std::to_string(s) + ",35.1,139.2,5,40,36.7,1.5,,,,,\n";
    test::MessageCatcher messages;
    auto l = Load(log, 4);
    EXPECT_EQ(l->store.pointCount, 4);
    EXPECT_EQ(l->store.trackEnd[0], 3);
    EXPECT_EQ((*l)[3].time, UtcFromCivil(2024, 5, 1, 8, 30, 3));
    EXPECT_TRUE(messages.Saw("track store is full"));
    TrackStore store;
    ASSERT_EQ(CreateTrackStore(store, 2, 2), 0);
    EXPECT_EQ(ReadCsvTextBuffer(store, log.c_str(), log.size()), kReaderCut);
    EXPECT_EQ(ReadCsvText(store, "/nonexistent/log.txt"), kReaderCannotOpen);
}

// The BasicAirData logger's newer header adds a barometric pressure column
// behind the columns read, so content detection does not name it: it is
// loaded with the forced kind name.
TEST(CsvTextSamples, PhoneLoggerExportsWithTheForcedKind) {
    TRAKVIO_REQUIRE_SAMPLES();
    auto dir = test::SamplesDir() / "csv";
    Loaded external;
    ASSERT_EQ(CreateTrackStore(external.store, 10000, 10), 0);
    EXPECT_EQ(LoadLogFile(external.store, external.settings, dir / "Input2ExternalReceiver.txt"), kLoadUnknownKind);
    ASSERT_EQ(ReadLogFile(external.store, external.settings, dir / "Input2ExternalReceiver.txt", "BAD-TXT", 1),
              kLoadDone);
    ASSERT_EQ(external.store.pointCount, 588);
    // T,2022-04-05 17:13:51.128,45.12039333,10.08886833,5,31.360,39.640,28.850,...
    EXPECT_EQ(external[0].time, UtcFromCivil(2022, 4, 5, 17, 13, 51));
    EXPECT_DOUBLE_EQ(external[0].latitude, 45.12039333);
    EXPECT_DOUBLE_EQ(external[0].longitude, 10.08886833);
    EXPECT_FLOAT_EQ(external[0].altitude, 71.0f);
    EXPECT_NEAR(external[0].loggedSpeed, 103.86, 1e-4);
    EXPECT_EQ(external[587].time, UtcFromCivil(2022, 4, 5, 17, 23, 38));

    ASSERT_EQ(ReadLogFile(external.store, external.settings, dir / "ExampleInputFile.txt", "BAD-TXT", 1), kLoadDone);
    ASSERT_EQ(external.store.pointCount, 588 + 3169);
    // T,2022-04-01 05:18:24,44.81268190,10.29769703,4,53.845,39.155,0.000,,...
    const LogPoint& last = external[588 + 3168];
    EXPECT_EQ(last.time, UtcFromCivil(2022, 4, 1, 5, 18, 24));
    EXPECT_DOUBLE_EQ(last.latitude, 44.81268190);
    EXPECT_FLOAT_EQ(last.altitude, 93.0f);
    EXPECT_EQ(external.store.trackCount, 2);
}

}  // namespace
}  // namespace trakvio
