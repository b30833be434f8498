// trakvio-cli's device commands against the simulated logger and receiver.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "cli_run.h"
#include "devices/device_simulators.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class CliDevices : public test::CliTest {
  protected:
    void SetUp() override {
        test::WriteFile(Work("test.ini"), "maxlogpoints=100000\nworkfolder=" + (scratch_ / "elsewhere").string() +
                                              "\ngpsrcvtimeout=20,400\n");
    }
    int Cli(const std::string& arguments, std::string* out, std::string* err) {
        return Run(arguments + " --ini test.ini", out, err);
    }
};

TEST_F(CliDevices, MtkDownloadPrintsTheTrackListAndSavesTheDump) {
    TRAKVIO_REQUIRE_SAMPLES();
    test::MtkLoggerSimulator logger(test::ReadBytes((test::SamplesDir() / "mtk" / "mtk_logger_gp245.bin").string()),
                                    {});
    fs::create_directories(Work("saved"));
    std::string out, err;
    ASSERT_EQ(Cli("mtk download --port " + logger.path() + " --save saved", &out, &err), 0) << err;
    EXPECT_NE(out.find("total"), std::string::npos) << out;
    EXPECT_NE(out.find(" 1  "), std::string::npos) << out;
    ASSERT_EQ(std::distance(fs::directory_iterator(Work("saved")), fs::directory_iterator()), 1);
    const fs::path copy = fs::directory_iterator(Work("saved"))->path();
    EXPECT_EQ(copy.extension(), ".bin");
    // The image as far as the logger had data: the sample dump's records.
    EXPECT_GT(fs::file_size(copy), 512u);
    std::string info;
    ASSERT_EQ(Cli("info " + test::ShellQuote(copy.string()), &info, &err), 0) << err;
    EXPECT_EQ(info.substr(info.find("total")), out.substr(out.find("total")));
}

TEST_F(CliDevices, MtkDownloadFromAnErasedLoggerFailsAndEraseIsReported) {
    test::MtkLoggerSimulator logger(std::vector<unsigned char>(100, 0xFF), {});
    std::string out, err;
    EXPECT_EQ(Cli("mtk download --port " + logger.path(), &out, &err), 3);
    EXPECT_NE(err.find("No Log Data"), std::string::npos) << err;
    ASSERT_EQ(Cli("mtk erase --port " + logger.path(), &out, &err), 0) << err;
    EXPECT_EQ(out, "Erased Log\n");
    EXPECT_TRUE(logger.erased());
}

TEST_F(CliDevices, CaptureRecordsFixesForTheGivenTime) {
    test::Pty receiver;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        for (int i = 0; !done && i < 400; ++i) {
            char time[16];
            std::snprintf(time, sizeof time, "1200%02d.00", i % 60);
            receiver.Write(
                test::Sentence(std::string("GPGGA,") + time + ",3539.5210,N,13944.4780,E,1,08,1.0,40,M,39,M,,") +
                test::Sentence(std::string("GPRMC,") + time + ",A,3539.5210,N,13944.4780,E,1.0,0,010524,,,A"));
            std::this_thread::sleep_for(30ms);
        }
    });
    std::string out, err;
    int status = Cli("capture --port " + receiver.path() + " --out fixes.nmea --seconds 1", &out, &err);
    done = true;
    sender.join();
    EXPECT_EQ(status, 0) << err;
    EXPECT_NE(out.find("total"), std::string::npos) << out;
    EXPECT_NE(err.find("GPS衛星が捕捉され測位しています"), std::string::npos) << err;
    const std::string file = test::ReadFile(Work("fixes.nmea"));
    EXPECT_EQ(file.rfind("$GPGGA,", 0), 0u);
    EXPECT_NE(file.find("$GPRMC,"), std::string::npos);
}

TEST_F(CliDevices, CaptureFromASilentReceiverEndsWithItsReason) {
    test::Pty receiver;
    std::string out, err;
    EXPECT_EQ(Cli("capture --port " + receiver.path() + " --out fixes.nmea --seconds 30", &out, &err), 3);
    EXPECT_NE(err.find("GPSレシーバーは応答していません"), std::string::npos) << err;
    EXPECT_NE(err.find("return code=8"), std::string::npos) << err;
}

TEST_F(CliDevices, PortsAndUsageErrors) {
    std::string out, err;
    EXPECT_EQ(Cli("ports", &out, &err), 0) << err;
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(Cli("capture --port /dev/null", &out, &err), 64);
    EXPECT_EQ(Cli("mtk format", &out, &err), 64);
    EXPECT_EQ(Cli("capture --port /dev/no-such-receiver --out x.nmea", &out, &err), 1);
}

}  // namespace
}  // namespace trakvio
