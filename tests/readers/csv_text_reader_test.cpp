// CSV text logs written here, loaded through the loader and compared with the
// values a user would see.
#include "readers/csv_text_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/load_front_end.h"
#include "readers/log_builders.h"
#include "test_support.h"

namespace trakvio {
namespace {

constexpr const char* kHeader =
    "type,date time,latitude,longitude,accuracy(m),altitude(m),geoid_height(m),speed(m/s),bearing(deg),sat_used,"
    "sat_inview,name,desc\r\n";

// Waypoints and lines without a readable time or position leave no point;
// the altitude is the height above the ellipsoid (altitude plus geoid height),
// the fraction of a second is dropped, a line cut after the position has no
// altitude or speed; the newer header with barometric_pressure(hPa) is read
// by its column names.
TEST(CsvTextReader, TrackLinesBecomePointsAndBadLinesAreSkipped) {
    const struct {
        std::string log;
        std::vector<std::string> points;
    } cases[] = {
        {std::string(kHeader) + "T,2024-05-01 08:30:00,35.1,139.2,5,40,36.7,1.5,90,7,12,,\r\n" +
             "W,2024-05-01 08:31:00,35.2,139.3,5,40,36.7,1.5,90,7,12,Home,a waypoint\r\n" +
             "T,2024-05-01 08:30:01.750,-35.25,-139.5,5,-12.5,0,0,,,,,\n" +
             "T,2024-05-01 08:30:02,,139.2,5,40,36.7,1.5\n" + "T,2024-13-01 08:30:02,35.1,139.2,5,40,0,0\n" +
             "T,garbage\x01\xff\n" + "T,2024-05-01 08:30:03,95.0,139.2,5,40,0,0\n" + "T,\n" +
             "T,2024-05-01 08:30:04,35.1x,139.2,5,40,0,0\n" + "T,2024-05-01 08:30:05,35.1,139.2\n" +
             "T,2024-05-01 08:30:06,35.1,139.2,5,4",
         {"35.1,139.2 76.7m 5.4km/h 2024-05-01T08:30:00", "-35.25,-139.5 -12.5m 0km/h 2024-05-01T08:30:01",
          "35.1,139.2 0m 0km/h 2024-05-01T08:30:05", "35.1,139.2 4m 0km/h 2024-05-01T08:30:06"}},
        {"type,date time,latitude,longitude,accuracy(m),altitude(m),geoid_height(m),speed(m/s),bearing(deg),"
         "sat_used,sat_inview,barometric_pressure(hPa),name,desc\r\n"
         "T,2022-04-01 04:25:17,45.14020078,10.02338382,5,52.256,39.744,14.110,112,18,22,984.7964,x,y\r\n",
         {"45.14020078,10.02338382 92m 50.796km/h 2022-04-01T04:25:17"}},
    };
    test::ScratchFolder folder;
    for (const auto& c : cases) {
        test::WriteFile(folder / "log.txt", c.log);
        test::Loader l;
        ASSERT_EQ(LoadLogFile(l.store, l.settings, folder / "log.txt"), kLoadDone);
        EXPECT_EQ(l.store.loadKind, kKindCsvText);
        EXPECT_EQ(test::PointTexts(l.store), c.points);
        EXPECT_EQ(l.store.trackCount, 1);
    }
}

}  // namespace
}  // namespace trakvio
