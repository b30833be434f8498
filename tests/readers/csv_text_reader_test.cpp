// CSV text logs written here, loaded through the loader and compared with the
// values a user would see.
#include "readers/csv_text_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/load_front_end.h"
#include "platform/local_time.h"
#include "test_support.h"

namespace trakvio {
namespace {

constexpr const char* kHeader =
    "type,date time,latitude,longitude,accuracy(m),altitude(m),geoid_height(m),speed(m/s),bearing(deg),sat_used,"
    "sat_inview,name,desc\r\n";

int Load(TrackStore& store, const std::string& text, int32_t maxPoints = 1000) {
    test::ScratchFolder folder;
    test::WriteFile(folder / "log.txt", text);
    Settings settings;
    EXPECT_EQ(CreateTrackStore(store, maxPoints, 10), 0);
    return LoadLogFile(store, settings, folder / "log.txt");
}

TEST(CsvTextReader, TrackLinesBecomePointsAndBadLinesAreSkipped) {
    // Waypoints and lines without a readable time or position leave no point.
    TrackStore store;
    ASSERT_EQ(
        Load(store, std::string(kHeader) + "T,2024-05-01 08:30:00,35.1,139.2,5,40,36.7,1.5,90,7,12,,\r\n" +
                        "W,2024-05-01 08:31:00,35.2,139.3,5,40,36.7,1.5,90,7,12,Home,a waypoint\r\n" +
                        "T,2024-05-01 08:30:01.750,-35.25,-139.5,5,-12.5,0,0,,,,,\n" +
                        "T,2024-05-01 08:30:02,,139.2,5,40,36.7,1.5\n" + "T,2024-13-01 08:30:02,35.1,139.2,5,40,0,0\n" +
                        "T,garbage\x01\xff\n" + "T,2024-05-01 08:30:03,95.0,139.2,5,40,0,0\n" + "T,\n" +
                        "T,2024-05-01 08:30:04,35.1x,139.2,5,40,0,0\n" + "T,2024-05-01 08:30:05,35.1,139.2\n" +
                        "T,2024-05-01 08:30:06,35.1,139.2,5,4"),
        kLoadDone);
    EXPECT_EQ(store.loadKind, kKindCsvText);
    ASSERT_EQ(store.pointCount, 4);
    const auto& p = store.points;
    EXPECT_EQ(p[0].time, UtcFromCivil(2024, 5, 1, 8, 30, 0));
    EXPECT_DOUBLE_EQ(p[0].latitude, 35.1);
    EXPECT_DOUBLE_EQ(p[0].longitude, 139.2);
    EXPECT_FLOAT_EQ(p[0].altitude, 76.7f);  // altitude plus geoid height
    EXPECT_FLOAT_EQ(p[0].loggedSpeed, 5.4f);
    EXPECT_EQ(p[1].time, UtcFromCivil(2024, 5, 1, 8, 30, 1));  // the fraction is dropped
    EXPECT_DOUBLE_EQ(p[1].latitude, -35.25);
    EXPECT_FLOAT_EQ(p[1].altitude, -12.5f);
    EXPECT_FLOAT_EQ(p[2].altitude, 0);  // cut after the position
    EXPECT_FLOAT_EQ(p[2].loggedSpeed, 0);
    EXPECT_EQ(p[3].time, UtcFromCivil(2024, 5, 1, 8, 30, 6));
    EXPECT_FLOAT_EQ(p[3].altitude, 4);
    EXPECT_EQ(store.trackCount, 1);
}

// The newer header with barometric_pressure(hPa) is recognised and its
// columns are read by name; the first layout still reads as before.
TEST(CsvTextReader, HeadersWithMoreColumnsAreReadByName) {
    TrackStore store;
    ASSERT_EQ(Load(store,
                   "type,date time,latitude,longitude,accuracy(m),altitude(m),geoid_height(m),speed(m/s),bearing(deg),"
                   "sat_used,sat_inview,barometric_pressure(hPa),name,desc\r\n"
                   "T,2022-04-01 04:25:17,45.14020078,10.02338382,5,52.256,39.744,14.110,112,18,22,984.7964,x,y\r\n"),
              kLoadDone);
    ASSERT_EQ(store.pointCount, 1);
    EXPECT_DOUBLE_EQ(store.points[0].latitude, 45.14020078);
    EXPECT_FLOAT_EQ(store.points[0].altitude, 92.0f);
    EXPECT_NEAR(store.points[0].loggedSpeed, 14.110f * 3.6f, 1e-3);

    TrackStore moved;
    ASSERT_EQ(Load(moved, std::string(kHeader) + "T,2022-04-01 04:25:17,45.1,10.0,5,52,40,1,0,1,1,,\r\n"), kLoadDone);
    EXPECT_FLOAT_EQ(moved.points[0].altitude, 92.0f);
}

}  // namespace
}  // namespace trakvio
