// Live capture from a simulated GPS receiver on a pseudo-terminal: which
// sentences make a point, what the window is told and when, the capture
// file, and how a silent or vanished receiver ends the capture.
#include "devices/receiver_capture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "devices/device_simulators.h"
#include "platform/local_time.h"
#include "test_support.h"

namespace trakvio {
namespace {

using namespace std::chrono_literals;
using test::MessageCatcher;
using test::Pty;
using test::ScratchFolder;
using test::Sentence;

std::string Gga(const std::string& time, const std::string& alt = "40.5", const std::string& sep = "39.2",
                const std::string& lat = "3539.5210", const std::string& lon = "13944.4780") {
    return Sentence("GPGGA," + time + "," + lat + ",N," + lon + ",E,1,08,1.0," + alt + ",M," + sep + ",M,,");
}

std::string Rmc(const std::string& time, const std::string& date = "010524", const std::string& status = "A",
                const std::string& lat = "3539.5210", const std::string& lon = "13944.4780",
                const std::string& knots = "10.0") {
    return Sentence("GNRMC," + time + "," + status + "," + lat + ",N," + lon + ",E," + knots + ",90.0," + date +
                    ",,,A");
}

// What the window would be told, recorded under a lock.
struct Notices {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> pointCountsAtNotice;  // one count per new-fix notice
    std::vector<int> failures;
    std::vector<std::string> texts;

    // Runs change under the lock and wakes the waiting test.
    template <typename Change>
    void Note(Change change) {
        std::lock_guard<std::mutex> lock(mutex);
        change();
        changed.notify_all();
    }
    CaptureCallbacks Callbacks(const TrackStore& store) {
        CaptureCallbacks callbacks;
        callbacks.newFixes = [this, &store] {
            Note([&] { pointCountsAtNotice.push_back(CapturedPointCount(store)); });
        };
        callbacks.failed = [this](int bits) { Note([&] { failures.push_back(bits); }); };
        callbacks.status = [this](std::string_view text) { Note([&] { texts.emplace_back(text); }); };
        return callbacks;
    }
    template <typename Condition>
    bool WaitFor(Condition condition, std::chrono::milliseconds limit = 5000ms) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, condition);
    }
};

class CaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        CreateTrackStore(store, 1000, 10);
        file = folder / "capture.nmea";
    }
    void Start() { ASSERT_EQ(capture.Start(store, settings, pty.path(), file, notices.Callbacks(store)), 0); }
    // Sends text and waits until the store holds points points.
    void SendAndWait(const std::string& text, int points) {
        pty.Write(text);
        EXPECT_TRUE(notices.WaitFor([&] { return CapturedPointCount(store) >= points; }))
            << "points: " << CapturedPointCount(store);
    }

    Pty pty;
    ScratchFolder folder;
    std::filesystem::path file;
    Settings settings;
    TrackStore store;
    Notices notices;
    ReceiverCapture capture;
};

TEST_F(CaptureTest, PairsGgaAndRmcOfTheSameTimeInEitherOrder) {
    Start();
    const std::string first = Gga("120000.00") + Rmc("120000.00");
    const std::string gga1 = Gga("120001.00", "50.0", "0"), gga2 = Gga("120002.00", "60.0", "0");
    const std::string rmc2 = Rmc("120002.00", "010524", "A", "3539.7210");
    // Two GGAs in a row: only the later one pairs.
    SendAndWait(first + Rmc("120001.00") + gga1 + Gga("120002.00", "1.0", "0") + gga2 + rmc2, 3);
    capture.Stop();
    ASSERT_EQ(store.pointCount, 3);
    const LogPoint& p = store.points[0];
    EXPECT_NEAR(p.latitude, 35 + 39.5210 / 60, 1e-9);
    EXPECT_NEAR(p.longitude, 139 + 44.4780 / 60, 1e-9);
    EXPECT_FLOAT_EQ(p.altitude, 79.7f);
    EXPECT_FLOAT_EQ(p.geoidAltitude, 79.7f);  // no geoid model
    EXPECT_FLOAT_EQ(p.loggedSpeed, 18.52f);
    EXPECT_EQ(std::pair(p.enabled, p.time), std::pair(1, UtcFromCivil(2024, 5, 1, 12, 0, 0)));
    EXPECT_EQ(std::pair(store.points[1].altitude, store.points[2].altitude), std::pair(50.0f, 60.0f));
    // The RMC's position is the one kept.
    EXPECT_NEAR(store.points[2].latitude, 35 + 39.7210 / 60, 1e-9);
    // The capture file holds the accepted pairs, GGA first, as received.
    EXPECT_EQ(test::ReadFile(file), first + gga1 + Rmc("120001.00") + gga2 + rmc2);
}

TEST_F(CaptureTest, NoFixWithoutAPositionAndSentencesCutAcrossReadsAreJoined) {
    Start();
    pty.Write(Gga("120000.00") + Rmc("120000.00", "010524", "V") +       // status V
              Gga("120001.00", "40.5", "39.2", "") + Rmc("120001.00") +  // GGA without a position
              Gga("120002.00") + Rmc("120002.00", "010524", "A", "") +   // RMC without a position
              Sentence("GPGSV,3,1,12"));
    const std::string accepted = Gga("120003.00") + Rmc("120003.00");
    pty.Write(accepted.substr(0, 20));
    std::this_thread::sleep_for(50ms);
    pty.Write(accepted.substr(20, 70));
    std::this_thread::sleep_for(50ms);
    SendAndWait(accepted.substr(90), 1);
    capture.Stop();
    EXPECT_EQ(store.pointCount, 1);
    EXPECT_EQ(test::ReadFile(file), accepted);
}

// Times roll over into the next year and two-digit years count from 2000.
TEST_F(CaptureTest, TheFirstFixOnlySaysSoAndLaterOnesAreAnnounced) {
    Start();
    SendAndWait(Gga("235959.600") + Rmc("235959.600", "311223"), 1);
    std::this_thread::sleep_for(100ms);
    {
        std::lock_guard<std::mutex> lock(notices.mutex);
        EXPECT_TRUE(notices.pointCountsAtNotice.empty());
        EXPECT_EQ(notices.texts,
                  (std::vector<std::string>{std::string(kCaptureWaitingText), std::string(kCaptureFixText)}));
    }
    SendAndWait(Gga("000000.00") + Rmc("000000.00", "010199"), 2);
    EXPECT_TRUE(notices.WaitFor([&] { return notices.pointCountsAtNotice.size() == 1; }));
    capture.Stop();
    EXPECT_EQ(std::pair(store.points[0].time, store.points[1].time),
              std::pair(UtcFromCivil(2024, 1, 1, 0, 0, 0), UtcFromCivil(2099, 1, 1, 0, 0, 0)));
    EXPECT_EQ(notices.pointCountsAtNotice, std::vector<int>{2});
    EXPECT_EQ(notices.texts.back(), kCaptureStoppedText);
    EXPECT_TRUE(notices.failures.empty());
}

TEST_F(CaptureTest, AFullStoreKeepsWritingTheFileAndSaysSo) {
    CreateTrackStore(store, 2, 10);
    Start();
    SendAndWait(Gga("120000.00") + Rmc("120000.00") + Gga("120001.00") + Rmc("120001.00"), 2);
    const std::string third = Gga("120002.00") + Rmc("120002.00");
    pty.Write(third);
    EXPECT_TRUE(notices.WaitFor([&] { return !notices.texts.empty() && notices.texts.back() == kCaptureFullText; }));
    capture.Stop();
    EXPECT_EQ(store.pointCount, 2);
    EXPECT_EQ(notices.pointCountsAtNotice.size(), 1u);
    EXPECT_NE(test::ReadFile(file).find(third), std::string::npos);
}

TEST_F(CaptureTest, OverlongLinesAndAFullBufferAreDroppedAndCaptureGoesOn) {
    settings.receiver.bufferSize = 256;
    settings.receiver.sentenceLength = 100;
    Start();
    const std::string tooLong =
        Sentence("GPGGA,120000.00,3539.5210,N,13944.4780,E,1,08,1.0,40.5,M,39.2,M," + std::string(60, '0'));
    pty.Write(tooLong + Rmc("120000.00"));
    pty.Write(std::string(600, 'x'));  // no line feed: fills the buffer
    std::this_thread::sleep_for(100ms);
    const std::string pair = Gga("120001.00") + Rmc("120001.00");
    SendAndWait("\n" + pair, 1);
    capture.Stop();
    EXPECT_EQ(store.pointCount, 1);
    EXPECT_EQ(test::ReadFile(file), pair);
}

TEST_F(CaptureTest, ASilentReceiverEndsWithStatusBit8AfterTheTimeouts) {
    settings.receiver.timeout1 = 20;
    settings.receiver.timeout2 = 200;  // ten waits allowed
    auto start = std::chrono::steady_clock::now();
    Start();
    EXPECT_TRUE(notices.WaitFor([&] { return !notices.failures.empty(); }));
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 200ms);
    EXPECT_EQ(notices.failures, std::vector<int>{kCaptureSilent});
    EXPECT_EQ(capture.statusBits(), kCaptureSilent);
    capture.Stop();
}

TEST_F(CaptureTest, AVanishedReceiverEndsAsDisconnected) {
    Start();
    pty.HangUp();
    EXPECT_TRUE(notices.WaitFor([&] { return !notices.failures.empty(); }));
    EXPECT_EQ(notices.failures[0] & (kCaptureWaitFailed | kCaptureReadFailed), notices.failures[0]);
    capture.Stop();
}

TEST(CaptureTimeouts, AFirstTimeoutBelowOneIsRefusedAndTheDefaultUsed) {
    MessageCatcher messages;
    ReceiverSettings receiver;
    receiver.timeout1 = 0;
    receiver.timeout2 = 5000;
    auto timeouts = [&] {
        const CaptureTimeouts t = CaptureTimeoutsFrom(receiver);
        return std::pair(t.waitMs, t.allowed);
    };
    EXPECT_EQ(timeouts(), std::pair(100, 50));
    EXPECT_TRUE(messages.Saw("gpsrcvtimeout"));
    receiver.timeout1 = 200;
    receiver.timeout2 = 8000;
    EXPECT_EQ(timeouts(), std::pair(200, 40));
    EXPECT_EQ(messages.messages().size(), 1u);
}

}  // namespace
}  // namespace trakvio
