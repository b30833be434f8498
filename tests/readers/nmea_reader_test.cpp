// NMEA logs written here and real receiver logs, loaded through the loader and
// compared with the values a user would see and with GPSBabel's reading.
#include "readers/nmea_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/load_front_end.h"
#include "platform/local_time.h"
#include "readers/log_builders.h"
#include "test_support.h"

namespace trakvio {
namespace {

constexpr auto S = test::NmeaSentence;

std::string Rmc(std::string time, char status, std::string position, std::string knots = "0.00",
                std::string date = "070804") {
    return S("GPRMC," + time + "," + status + "," + position + "," + knots + ",90.0," + date + ",,,A");
}
std::string Gga(std::string time, std::string position, std::string altitude = "209.8",
                std::string separation = "-34.2") {
    return S("GPGGA," + time + "," + position + ",1,05,1.6," + altitude + ",M," + separation + ",M,,");
}
std::string Zda(std::string time) { return S("GPZDA," + time + ",07,08,2004,00,00"); }

constexpr const char* kHere = "4231.8291,N,08807.3033,W";
constexpr const char* kThere = "4231.8300,N,08807.3000,W";
const int64_t kAt0329 = UtcFromCivil(2004, 8, 7, 3, 29, 0);

std::string DamagedLog() {
    std::string badChecksum = Rmc("032909", 'A', kThere);
    badChecksum[badChecksum.size() - 3] ^= 1;
    const char kGarbage[] = "\x00\xff\x13$G\x01\xfe$GPRMC\n$GPGGA,\n$GP\nGA,0329";
    return "\n" + Rmc("032908", 'A', kHere) + badChecksum + std::string(kGarbage, sizeof kGarbage - 1) + "\n" +
           S("GPGGA,032910,4231.8291,N,08807.3033,W,1,999,0.9,10,M,0,M,,") +
           S("GPGSV,9,9,999,01,99,999,99,02,-5,400,200") + Rmc("032910", 'A', kHere) +
           Rmc("032911", 'A', "9931.0000,N,08807.3033,W") + Rmc("256099", 'A', kHere) +
           Rmc("032912", 'A', "4231.8291,N,08807.3033,X") + std::string(3000, 'x') + "\n" +
           "$GPRMC,032913,A,4231.8291,N,08807.3033,W,0.0,0.0,0708" + std::string(2000, ',') + "\n" +
           "$GPRMC,032914,A,4231.82";
}

TEST(NmeaReader, FixesOfEachShapeOfLog) {
    std::string zdaFractions = "\n";
    for (std::string s : {"08", "09", "10"}) {
        zdaFractions +=
            Zda("0329" + s) + Gga("0329" + s + ".379", kHere) + (s == "10" ? "" : Rmc("0329" + s + ".379", 'A', kHere));
    }
    const struct {
        const char* what;
        std::string log;
        std::vector<std::string> points;
    } cases[] = {
        {"GGA and RMC of one fix give one point at the height above the ellipsoid; a void fix and a GGA alone give "
         "none; .600 rounds up into the next day",
         "Log of a receiver\n" + Gga("032908.000", kHere) + Rmc("032908.000", 'A', kHere, "10.0") +
             S("GPGSV,1,1,01,28,64,316,40") + Gga("032909", "4231.8300,S,08807.3000,E", "10.5", "2.0") +
             Rmc("032909", 'A', "4231.8300,S,08807.3000,E", "0.50") + Gga("032910", kThere) +
             Rmc("032910", 'V', kThere) + Gga("032911", kHere) + Rmc("235959.600", 'A', kHere, "0", "311223"),
         {"42.530485,-88.1217216667 175.6m 18.52km/h 2004-08-07T03:29:08",
          "-42.5305,88.1216666667 12.5m 0.926km/h 2004-08-07T03:29:09",
          "42.530485,-88.1217216667 0m 0km/h 2024-01-01T00:00:00"}},
        {"a ZDA dates a GGA fix; a void fix it dates stays disabled with a position and is dropped without one",
         "\n" + Gga("032908", kHere) + Zda("032908") + Gga("032909", kThere) + Rmc("032909", 'V', kThere) +
             Zda("032909") + S("GPGGA,032910,,,,,0,0,,,M,,M,,") + Rmc("032910", 'V', ",,,") + Zda("032910"),
         {"42.530485,-88.1217216667 175.6m 0km/h 2004-08-07T03:29:08",
          "42.5305,-88.1216666667 175.6m 0km/h 2004-08-07T03:29:09 off"}},
        {"a ZDA on the whole second joins the fix at .379 of its second, and alone dates a GGA",
         zdaFractions,
         {"42.530485,-88.1217216667 175.6m 0km/h 2004-08-07T03:29:08",
          "42.530485,-88.1217216667 175.6m 0km/h 2004-08-07T03:29:09",
          "42.530485,-88.1217216667 175.6m 0km/h 2004-08-07T03:29:10"}},
        {"neither the altitude and speed of an earlier fix nor the position of a void fix leak into a GLL fix",
         "\n" + Gga("032908", kHere, "500", "0") + Rmc("032908", 'A', kHere, "20") + Rmc("032909", 'V', kThere) +
             S("GPGLL,4231.9000,N,08807.3100,W,032910,A,A") + Zda("032910") + Rmc("032911", 'A', ",,,"),
         {"42.530485,-88.1217216667 500m 37.04km/h 2004-08-07T03:29:08",
          "42.5316666667,-88.1218333333 0m 0km/h 2004-08-07T03:29:10"}},
        {"damaged sentences are skipped",
         DamagedLog(),
         {"42.530485,-88.1217216667 0m 0km/h 2004-08-07T03:29:08",
          "42.530485,-88.1217216667 10m 0km/h 2004-08-07T03:29:10"}},
    };
    test::ScratchFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteFile(folder / "log.nmea", c.log);
        test::Loader l;
        ASSERT_EQ(LoadLogFile(l.store, l.settings, folder / "log.nmea"), kLoadDone);
        EXPECT_EQ(l.store.loadKind, kKindNmea);
        EXPECT_EQ(test::PointTexts(l.store), c.points);
        EXPECT_EQ(l.store.trackCount, 1);
    }
}

TEST(NmeaReader, FirstFixTime) {
    test::ScratchFolder folder;
    auto path = folder / "a.nmea";
    test::WriteFile(path, Rmc("032907.900", 'V', kHere) + Gga("032908.900", kHere) + Rmc("032908.900", 'A', kHere));
    int64_t time = -1;
    EXPECT_EQ(NmeaFirstFixTime(path, time), kNmeaFirstFixFound);
    EXPECT_EQ(time, kAt0329 + 8);  // the fraction is dropped, not rounded
    test::WriteFile(path, Rmc("032907", 'V', kHere));
    EXPECT_EQ(NmeaFirstFixTime(path, time), kNmeaFirstFixNone);
    EXPECT_EQ(NmeaFirstFixTime(folder / "missing.nmea", time), kNmeaFirstFixCannotOpen);
}

}  // namespace
}  // namespace trakvio
