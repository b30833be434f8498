// The MTK logger over a pseudo-terminal: downloads of real logger dumps
// served by a simulated logger, the failures a user can meet (a reply for
// the wrong address, an empty logger, a silent one), the loader's logger
// pseudo-paths and the erase exchange.
#include "devices/mtk_logger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <tuple>

#include "devices/device_simulators.h"
#include "devices/mtk_protocol.h"
#include "devices/serial_port.h"
#include "readers/log_loader.h"
#include "readers/mtk_reader.h"
#include "readers/reader_results.h"
#include "test_support.h"

namespace trakvio {
namespace {

using test::MessageCatcher;
using test::MtkLoggerSimulator;
using test::ScratchFolder;

// Names the logger's port in the environment while it lives (the tests run without it set).
struct ScopedPortVariable {
    explicit ScopedPortVariable(const std::string& port) { setenv(kMtkPortVariable, port.c_str(), 1); }
    ~ScopedPortVariable() { unsetenv(kMtkPortVariable); }
};

TrackStore MakeStore(int32_t points = 200000) {
    TrackStore store;
    CreateTrackStore(store, points, 100);
    return store;
}

std::string Dump(const char* name) { return (test::SamplesDir() / "mtk" / name).string(); }

void ExpectSamePoints(const TrackStore& a, const TrackStore& b) {
    ASSERT_EQ(a.pointCount, b.pointCount);
    for (int32_t i = 0; i < a.pointCount; ++i) {
        const LogPoint &p = a.points[i], &q = b.points[i];
        ASSERT_EQ(std::tie(p.latitude, p.longitude, p.altitude, p.loggedSpeed, p.time, p.enabled),
                  std::tie(q.latitude, q.longitude, q.altitude, q.loggedSpeed, q.time, q.enabled))
            << i;
    }
}

// Downloads from a simulated logger holding dump into a fresh store and
// compares with loading the dump file itself.
void ExpectDownloadEqualsDump(const char* name, MtkLoggerSimulator::Behaviour behaviour) {
    SCOPED_TRACE(name);
    test::ScopedTimeZone utc("UTC0");
    MtkLoggerSimulator logger(test::ReadBytes(Dump(name)), behaviour);
    ScratchFolder folder;
    Settings settings;
    TrackStore downloaded = MakeStore();
    std::filesystem::path dump;
    ASSERT_EQ(DownloadMtkLogger(downloaded, settings, logger.path(), folder.path(), dump), kReaderDone);
    EXPECT_EQ(settings.gpsLogDataFile, "MTK_Logger_data");

    TrackStore loaded = MakeStore();
    ASSERT_EQ(ReadMtkBinary(loaded, Dump(name)), kReaderDone);
    ASSERT_GT(loaded.pointCount, 0);
    ExpectSamePoints(downloaded, loaded);

    // The dump in the folder is named after the first record and decodes to
    // the same points.
    int64_t first = 0;
    ASSERT_TRUE(MtkFirstTime(Dump(name), first));
    EXPECT_EQ(dump, folder.path() / MtkDumpName(first));
    TrackStore again = MakeStore();
    ASSERT_EQ(ReadMtkBinary(again, dump), kReaderDone);
    ExpectSamePoints(again, loaded);
}

TEST(MtkDownload, RealDumpsArriveAsTheyLoadFromFileEvenInPieces) {
    TRAKVIO_REQUIRE_SAMPLES();
    MessageCatcher messages;
    for (const char* name :
         {"mtk_logger.bin", "mtk_logger_m241.bin", "mtk_logger_gp245.bin", "mtk_logger_m241_multiple_tracks.bin"}) {
        ExpectDownloadEqualsDump(name, {});
    }
    // Replies cut inside the header, the address, the data field, the checksum and the acknowledgement.
    MtkLoggerSimulator::Behaviour cut;
    cut.pieces = {3, 9, 1, 4001, 7, 2, 90, 5};
    ExpectDownloadEqualsDump("mtk_logger_gp245.bin", cut);
    EXPECT_TRUE(messages.messages().empty());
}

TEST(MtkDownload, RequestsWalkThroughTheMemoryWithChecksums) {
    TRAKVIO_REQUIRE_SAMPLES();
    MessageCatcher messages;
    MtkLoggerSimulator logger(test::ReadBytes(Dump("mtk_logger_m241_multiple_tracks.bin")), {});
    std::vector<uint8_t> image;
    ASSERT_EQ(DownloadMtkImage(logger.path(), SerialSettings{}, {}, image), kMtkDone);
    // 289,792 bytes: nine blocks of 0x8000, the last one ending in erased memory, which ends the download.
    std::vector<std::string> expected;
    for (const char* at : {"0", "8000", "10000", "18000", "20000", "28000", "30000", "38000", "40000"}) {
        expected.push_back(MtkSentence("PMTK182,7," + std::string(at) + ",8000"));
    }
    EXPECT_EQ(logger.requests(), expected);
    EXPECT_EQ(MtkSentence("PMTK182,7,0,8000"), "$PMTK182,7,0,8000*1A\r\n");
}

// What a user meets when the download fails: the message, no points and no dump; a silent logger ends the wait.
TEST(MtkDownload, FailuresLoadNothingAndSayWhy) {
    MtkLoggerSimulator::Behaviour wrong, silent;
    wrong.wrongAddress = 0x1000;
    silent.silent = true;
    const std::vector<unsigned char> zeros(0x1000, 0), erased(4096, 0xFF);
    const struct {
        const char* port;  // null: the simulated logger's
        std::vector<unsigned char> image;
        MtkLoggerSimulator::Behaviour behaviour;
        const char* title;
        const char* text;
        size_t requests;
    } cases[] = {
        {nullptr, zeros, wrong, "MTK Logger Error", "読み取りに失敗しました 13\n", 1},
        {nullptr, erased, {}, "No Log Data", "MTK Logger にデータが記録されていません", 1},
        {nullptr, {}, silent, "MTK Logger Error", "読み取りに失敗しました 14\n", 1},
        {"/dev/no-such-logger", {}, {}, "MTK Logger Error", "読み取りに失敗しました 1\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        MessageCatcher messages;
        MtkLoggerSimulator logger(c.image, c.behaviour);
        ScratchFolder folder;
        Settings settings;
        TrackStore store = MakeStore();
        std::filesystem::path dump;
        MtkDownloadOptions options;
        options.replyTimeoutMs = 400;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(DownloadMtkLogger(store, settings, c.port ? c.port : logger.path(), folder.path(), dump, options),
                  kReaderCannotOpen);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_LT(elapsed, std::chrono::seconds(3));
        if (c.behaviour.silent) {
            EXPECT_GE(elapsed, std::chrono::milliseconds(400));
        }
        EXPECT_EQ(store.pointCount, 0);
        EXPECT_TRUE(dump.empty() && std::filesystem::is_empty(folder.path()));
        ASSERT_EQ(messages.messages().size(), 1u);
        EXPECT_EQ(messages.messages()[0].title + ": " + messages.messages()[0].text,
                  c.title + std::string(": ") + c.text);
        EXPECT_EQ(logger.requests().size(), c.requests);
    }
}

// The loader's pseudo-paths, with the logger's port named in the environment.
TEST(MtkLoader, PseudoPathsDownloadIntoOneTrackKeepTheDumpAndFillAStoreWithWhatFits) {
    TRAKVIO_REQUIRE_SAMPLES();
    test::ScopedTimeZone utc("UTC0");
    MessageCatcher messages;
    MtkLoggerSimulator logger(test::ReadBytes(Dump("mtk_logger_gp245.bin")), {});
    ScopedPortVariable port(logger.path());
    ScratchFolder work, elsewhere;
    Settings settings;
    settings.workFolder = work.path();
    TrackStore store = MakeStore();
    ASSERT_EQ(ReadLogFile(store, settings, ".mtk-logger", {}, 1), kLoadDone);
    EXPECT_EQ(std::tuple(store.loadKind, store.trackCount, store.trackEnd[0], store.tracks[0].fileIndex),
              std::tuple(10, 1, store.pointCount - 1, 0));
    ASSERT_EQ(store.fileCount, 1);
    EXPECT_EQ(store.loadedFiles[0].parent_path(), work.path());
    EXPECT_EQ(store.loadedFiles[0].extension(), ".bin");
    EXPECT_GT(store.totalDistanceKm, 0);
    EXPECT_TRUE(messages.messages().empty());

    // A full store keeps what fits and warns once.
    TrackStore small = MakeStore(50);
    EXPECT_EQ(ReadLogFile(small, settings, ".mtk-logger", {}, 1), kLoadDone);
    EXPECT_EQ(std::pair(small.pointCount, small.trackCount), std::pair(50, 1));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].title, "Read Warning");

    // "_save" offers a copy; a chosen name without '.' gets ".bin".
    struct Chooser {
        std::filesystem::path answer, seed;
        static std::filesystem::path Choose(void* context, const std::filesystem::path& seed) {
            auto* self = static_cast<Chooser*>(context);
            self->seed = seed;
            return self->answer;
        }
    } chooser{elsewhere / "copy", {}};
    SetDumpSaveChooser(&Chooser::Choose, &chooser);
    ClearTrackStore(store);
    EXPECT_EQ(ReadLogFile(store, settings, ".mtk-logger_save", {}, 1), kLoadDone);
    SetDumpSaveChooser(nullptr, nullptr);
    EXPECT_EQ(store.loadKind, 11);
    EXPECT_EQ(chooser.seed, store.loadedFiles[0]);
    EXPECT_EQ(test::ReadFile(elsewhere / "copy.bin"), test::ReadFile(store.loadedFiles[0]));
    EXPECT_EQ(settings.mtkBinFile, elsewhere / "copy.bin");
}

TEST(MtkLoader, NoLoggerAsksToConnectItAndCancelLoadsNothing) {
    MessageCatcher messages(kAnswerCancel);
    unsetenv(kMtkPortVariable);
    Settings settings;
    settings.mtkloggerdevidstr = u"no logger is called this";
    TrackStore store = MakeStore();
    EXPECT_EQ(ReadLogFile(store, settings, ".mtk-logger", {}, 1), kLoadReaderError);
    EXPECT_EQ(store.fileCount, 0);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(std::tie(messages.messages()[0].text, messages.messages()[0].buttons),
              std::tuple("USBポートに MTK Logger を接続し電源を入れて下さい", MessageButtons::kOkCancel));
}

// The acknowledged erase is run by the command-line tests; here the waits that end without one.
TEST(MtkErase, CancelOrABadPortEndTheEraseWithoutSuccess) {
    std::atomic<bool> cancel{false};
    MtkLoggerSimulator::Behaviour mute;
    mute.eraseAnswers = false;
    MtkLoggerSimulator logger({}, mute);
    int result = 0;
    std::thread eraser([&] { result = EraseMtkLog(logger.path(), SerialSettings{}, cancel); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel = true;
    eraser.join();
    EXPECT_EQ(result, kMtkEraseCancelled);
    EXPECT_EQ(EraseMtkLog("/dev/no-such-logger", SerialSettings{}, cancel), kMtkErasePortError);
}

TEST(MtkErase, LineReaderReportsAFullBufferWithoutLineFeed) {
    test::Pty pty;
    int fd = -1;
    ASSERT_EQ(OpenSerialPort(pty.path(), SerialSettings{}, fd), 0);
    std::atomic<bool> cancel{false};
    MtkLineReader reader(fd, cancel);
    pty.Write("$PMTK001,182,6,3*2A\r\n" + std::string(MtkLineReader::kCapacity, 'x'));
    std::string line;
    ASSERT_EQ(reader.Next(line), 1);
    EXPECT_EQ(line, "$PMTK001,182,6,3*2A\r\n");
    EXPECT_EQ(reader.Next(line), -2);
    reader.Reset();
    cancel = true;
    EXPECT_EQ(reader.Next(line), -1);
    CloseSerialPort(fd);
}

}  // namespace
}  // namespace trakvio
