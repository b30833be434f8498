#include "readers/kml_tuples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace trakvio {
namespace {

// A coordinate list of every kind of token a file may hold, in random order:
// the usual tuples, signs, integers, 2-D tuples, exponents, long numbers,
// tuples with junk behind them, and tokens that give no point.
std::string MixedTuples(int tokens, unsigned seed, int junkPercent) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> lon(-180, 180), lat(-90, 90), alt(-500, 9000);
    const char* junk[] = {"abc",
                          ",5",
                          "1,",
                          "-,2",
                          ".5,.5",
                          "1.,2.",
                          "+-1,2",
                          "1e,2",
                          "--",
                          "1;2",
                          "\x01",
                          "1,2,3,4",
                          "12345678901234567890,1",
                          "0.000000000000000001,2",
                          "1e400,2",
                          "nan,1",
                          "1,inf,2"};
    const char* blanks[] = {" ", "\n", "\r\n", "\t", "  ", "\n          ", "\n\t\t"};
    // The shapes of a tuple; the last is 3 integers.
    const char* shapes[] = {"%.7f,%.7f",      "%.6f,%.6f,0",    "%+.5f,%+.5f,%+.1f",  "%.15g,%.15g,%.9g",
                            "%.3e,%.3e,%.2e", "%.7f,%.7f,%.1f", "%.7f,%.7f,%.1fjunk", "%d,%d,%d"};
    std::string text;
    char buffer[128];
    for (int i = 0; i < tokens; ++i) {
        const unsigned shape = random() % 8;
        if (static_cast<int>(random() % 100) < junkPercent) {
            text += junk[random() % (sizeof junk / sizeof junk[0])];
        } else if (shape == 7) {
            std::snprintf(buffer, sizeof buffer, shapes[shape], static_cast<int>(lon(random)),
                          static_cast<int>(lat(random)), static_cast<int>(alt(random)));
            text += buffer;
        } else {
            std::snprintf(buffer, sizeof buffer, shapes[shape], lon(random), lat(random), alt(random));
            text += buffer;
        }
        text += blanks[random() % (sizeof blanks / sizeof blanks[0])];
    }
    return text;
}

struct TupleRead {
    TupleRunResult result;
    std::vector<LogPoint> points;
};

// Slots carry a mark in the fields the reading leaves alone.
TupleRead ReadWith(const std::string& text, int64_t room, const TupleRunOptions& options) {
    TupleRead run;
    run.points.resize(static_cast<size_t>(room) + 1);
    for (LogPoint& p : run.points) {
        p.distance = 7;
        p.selected = -1;
    }
    run.result = ReadTupleRun(text.data(), text.data() + text.size(), run.points.data(), room, 1000, 5, options);
    return run;
}

// The general reading on one thread is the reference for the others.
void ExpectSameAsGeneral(const std::string& text, int64_t room) {
    TupleRunOptions general{1, size_t{1} << 40, false};
    TupleRead expected = ReadWith(text, room, general);
    const TupleRunOptions others[] = {{1, size_t{1} << 40, true}, {2, 1, true}, {2, 1, false}, {2, 4096, true}};
    for (const TupleRunOptions& options : others) {
        SCOPED_TRACE("room " + std::to_string(room) + ", workers " + std::to_string(options.workers) +
                     ", plain shapes " + std::to_string(options.plainShapes));
        TupleRead run = ReadWith(text, room, options);
        ASSERT_EQ(run.result.points, expected.result.points);
        EXPECT_EQ(run.result.full, expected.result.full);
        for (size_t i = 0; i < static_cast<size_t>(run.result.points); ++i) {
            const LogPoint& a = run.points[i];
            const LogPoint& b = expected.points[i];
            // Bit for bit: the usual shapes must read exactly as the library would.
            ASSERT_EQ(std::memcmp(&a.latitude, &b.latitude, sizeof a.latitude), 0) << i;
            ASSERT_EQ(std::memcmp(&a.longitude, &b.longitude, sizeof a.longitude), 0) << i;
            ASSERT_EQ(std::memcmp(&a.altitude, &b.altitude, sizeof a.altitude), 0) << i;
            ASSERT_EQ(a.geoidAltitude, a.altitude) << i;
            ASSERT_EQ(a.time, b.time) << i;
            ASSERT_EQ(a.enabled, b.enabled) << i;
            ASSERT_EQ(a.distance, 7) << i;
            ASSERT_EQ(a.selected, -1) << i;
        }
    }
}

TEST(KmlTuples, EveryWayOfReadingGivesTheSamePoints) {
    std::string text = MixedTuples(60000, 20240501, 10);
    TupleRead reference = ReadWith(text, 100000, {1, size_t{1} << 40, false});
    ASSERT_GT(reference.result.points, 40000);
    EXPECT_FALSE(reference.result.full);
    EXPECT_EQ(reference.points[0].time, 1000);
    EXPECT_EQ(reference.points[1].time, 1005);
    ExpectSameAsGeneral(text, 100000);

    // At the capacity: the points up to it are kept and the run says so.
    // Junk only in the first half leaves slots the second half's points move
    // into, and then there is room for more than it found.
    std::string skewed = MixedTuples(20000, 7, 60) + MixedTuples(20000, 8, 0);
    TupleRead all = ReadWith(skewed, 100000, {1, size_t{1} << 40, false});
    for (int64_t room : {int64_t{0}, int64_t{1}, all.result.points / 3, all.result.points / 2 + 17,
                         all.result.points - 1, all.result.points, all.result.points + 5}) {
        ExpectSameAsGeneral(skewed, room);
    }
}

TEST(KmlTuples, TextWithoutTuplesOrWithoutBlanks) {
    for (const std::string& text : {std::string(), std::string(5000, ' '), std::string(5000, 'x'), std::string("1,2"),
                                    std::string("\n1,2,3"), std::string(3000, ',')}) {
        ExpectSameAsGeneral(text, 10);
    }
    TupleRead one = ReadWith("  139.7037523,35.5913598,40.5", 4, {2, 1, true});
    ASSERT_EQ(one.result.points, 1);
    EXPECT_EQ(one.points[0].longitude, 139.7037523);
    EXPECT_EQ(one.points[0].latitude, 35.5913598);
    EXPECT_EQ(one.points[0].altitude, 40.5f);
}

}  // namespace
}  // namespace trakvio
