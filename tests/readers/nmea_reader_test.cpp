// NMEA logs written here and real receiver logs, loaded through the loader and
// compared with the values a user would see and with GPSBabel's reading.
#include "readers/nmea_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "archive/load_front_end.h"
#include "platform/local_time.h"
#include "readers/log_builders.h"
#include "test_support.h"

namespace trakvio {
namespace {

constexpr auto S = test::NmeaSentence;

struct Loaded {
    TrackStore store;
    Settings settings;
    int result = -1;
    const LogPoint& operator[](int i) const { return store.points[i]; }
    int count() const { return store.pointCount; }
};

std::unique_ptr<Loaded> Load(const std::string& text, int32_t maxPoints = 1000) {
    test::ScratchFolder folder;
    test::WriteFile(folder / "log.nmea", text);
    auto l = std::make_unique<Loaded>();
    EXPECT_EQ(CreateTrackStore(l->store, maxPoints, 10), 0);
    l->result = LoadLogFile(l->store, l->settings, folder / "log.nmea");
    return l;
}

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

TEST(NmeaReader, FixesMergeAcrossGgaRmcAndZda) {
    // GGA and RMC of one fix give one point; a void fix and a GGA alone give none.
    auto l = Load("Log of a receiver\n" + Gga("032908.000", kHere) + Rmc("032908.000", 'A', kHere, "10.0") +
                  S("GPGSV,1,1,01,28,64,316,40") + Gga("032909", "4231.8300,S,08807.3000,E", "10.5", "2.0") +
                  Rmc("032909", 'A', "4231.8300,S,08807.3000,E", "0.50") + Gga("032910", kThere) +
                  Rmc("032910", 'V', kThere) + Gga("032911", kHere) + Rmc("235959.600", 'A', kHere, "0", "311223"));
    ASSERT_EQ(l->result, kLoadDone);
    EXPECT_EQ(l->store.loadKind, kKindNmea);
    ASSERT_EQ(l->count(), 3);
    EXPECT_NEAR((*l)[0].latitude, 42 + 31.8291 / 60, 1e-12);
    EXPECT_NEAR((*l)[0].longitude, -(88 + 7.3033 / 60), 1e-12);
    EXPECT_FLOAT_EQ((*l)[0].altitude, 209.8f - 34.2f);  // height above the ellipsoid
    EXPECT_FLOAT_EQ((*l)[0].loggedSpeed, 18.52f);
    EXPECT_EQ((*l)[0].time, kAt0329 + 8);
    EXPECT_TRUE((*l)[1].latitude < 0 && (*l)[1].longitude > 0);
    EXPECT_FLOAT_EQ((*l)[1].altitude, 12.5f);
    EXPECT_EQ((*l)[2].time, UtcFromCivil(2024, 1, 1, 0, 0, 0));  // .600 rounds up into the next day
    EXPECT_EQ(l->store.trackCount, 1);

    // A ZDA dates a GGA fix; a void fix it dates stays disabled with a
    // position and is dropped without one (the receiver lost lock).
    auto dated = Load("\n" + Gga("032908", kHere) + Zda("032908") + Gga("032909", kThere) + Rmc("032909", 'V', kThere) +
                      Zda("032909") + S("GPGGA,032910,,,,,0,0,,,M,,M,,") + Rmc("032910", 'V', ",,,") + Zda("032910"));
    ASSERT_EQ(dated->count(), 2);
    EXPECT_EQ((*dated)[0].time, kAt0329 + 8);
    EXPECT_EQ((*dated)[0].enabled, 1);
    EXPECT_EQ((*dated)[1].enabled, 0);
}

TEST(NmeaReader, ZdaWithAnotherFractionJoinsTheFixOfItsSecond) {
    // The receiver stamps ZDA on the whole second and RMC/GGA at .379; the
    // last second has no RMC, so the ZDA alone dates its GGA.
    std::string log = "\n";
    for (std::string s : {"08", "09", "10"})
        log +=
            Zda("0329" + s) + Gga("0329" + s + ".379", kHere) + (s == "10" ? "" : Rmc("0329" + s + ".379", 'A', kHere));
    auto l = Load(log);
    ASSERT_EQ(l->count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ((*l)[i].time, kAt0329 + 8 + i);
        EXPECT_NEAR((*l)[i].latitude, 42 + 31.8291 / 60, 1e-12);
    }
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

TEST(NmeaReader, DamagedSentencesAreSkipped) {
    std::string badChecksum = Rmc("032909", 'A', kThere);
    badChecksum[badChecksum.size() - 3] ^= 1;
    const char kGarbage[] = "\x00\xff\x13$G\x01\xfe$GPRMC\n$GPGGA,\n$GP\nGA,0329";
    auto l = Load("\n" + Rmc("032908", 'A', kHere) + badChecksum + std::string(kGarbage, sizeof kGarbage - 1) + "\n" +
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
