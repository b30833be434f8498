#include "app/system_info.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace trakvio {
namespace {

// Each line of a report up to its first colon: what the line shows.
std::vector<std::string> LineKeys(const std::string& text) {
    std::vector<std::string> keys;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) keys.push_back(line.substr(0, line.find(':')));
    return keys;
}

// Writes a file of the fake root, with its folders.
void Put(const test::ScratchFolder& root, const std::string& name, std::string_view text) {
    std::filesystem::create_directories((root / name).parent_path());
    test::WriteFile(root / name, text);
}

TEST(SystemInformation, FakeRootGivesItsValuesAndNaForWhatIsMissing) {
    test::ScratchFolder root;
    Put(root, "etc/os-release",
        "# comment\nNAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
        "VERSION_ID=\"12\"\nVERSION='12 (bookworm)'\n");
    Put(root, "sys/class/dmi/id/sys_vendor", "LENOVO  \n");
    // No product_name: the model is not known.
    Put(root, "proc/cpuinfo",
        "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core(TM) i5-8250U CPU @ "
        "1.60GHz\n\nprocessor\t: 1\nmodel name\t: Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz\n");
    Put(root, "sys/class/drm/card0-HDMI-A-1/status", "connected\n");
    Put(root, "sys/class/drm/card0-HDMI-A-1/modes", "1920x1080\n2560x1440\n1280x720\n2560x1080\n");
    Put(root, "sys/class/drm/card0-DP-1/status", "disconnected\n");
    Put(root, "sys/class/drm/card0-DP-1/modes", "3840x2160\n");
    Put(root, "usr/share/applications/mimeapps.list",
        "[Added Associations]\nx-scheme-handler/mailto=mutt.desktop;\n"
        "[Default Applications]\ntext/plain=gedit.desktop\n"
        "x-scheme-handler/mailto=thunderbird.desktop;evolution.desktop;\n");

    SystemInfoValues values;
    values.bitness = 64;
    values.build = "6.1.0-18-amd64";
    ReadSystemFiles(root.path(), values);
    values.screenWidth = values.pixelWidth = 1920;
    values.screenHeight = values.pixelHeight = 1080;
    values.workWidth = 1920;
    values.workHeight = 1040;
    values.logicalDpiX = values.logicalDpiY = 96;
    // A virtual display reports no millimetres: the physical DPI is 0.
    EXPECT_EQ(FormatSystemInformation(values),
              "[System Information]\n"
              "OS version/build: 12.0/6.1.0-18-amd64\n"
              "Edition: Debian GNU/Linux 12 (bookworm) 64bit\n"
              "Version: 12 (bookworm)\n"
              "PCmake: LENOVO\n"
              "PCmodel: n/a\n"
              "CPU: Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz\n"
              "Screen: 1920x1080 (2560x1440)\n"
              "WorkArea: 1920x1040\n"
              "Display Size(px): 1920x1080\n"
              "Display Size(mm): 0x0 (  0.0inch)\n"
              "Physical DPI:   0.0   0.0\n"
              "Logical DPI: 96 96\n"
              "Mail client\n"
              "  HKCU: n/a\n"
              "  HKLM: thunderbird.desktop\n"
              "mailto: n/a\n"
              ".txt: n/a\n"
              "PCname: n/a\n"
              "User: n/a\n");
    // A measured one gives its diagonal and physical DPI.
    values.mmWidth = 508;  // a 23-inch display at 96 pixels per inch
    values.mmHeight = 286;
    EXPECT_NE(
        FormatSystemInformation(values).find("Display Size(mm): 508x286 ( 23.0inch)\nPhysical DPI:  96.0  95.9\n"),
        std::string::npos);
}

TEST(SystemInformation, GatheredReportKeepsItsLinesAndGoesToTheClipboard) {
    const std::string report = GatherSystemInformation();
    if (std::getenv("TRAKVIO_SCREENSHOT_DIR")) std::fputs(report.c_str(), stdout);
    // The lines of the report checked above, whatever this machine holds.
    EXPECT_EQ(LineKeys(report), LineKeys(FormatSystemInformation(SystemInfoValues{}))) << report;
    EXPECT_NE(report.find(std::to_string(sizeof(void*) * 8) + "bit\n"), std::string::npos);
    EXPECT_EQ(report.find("Screen: 0x0"), std::string::npos) << "the offscreen screen has a size";

    test::MessageCatcher messages(kAnswerOk);
    ShowSystemInformation(report);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].title, "System Information");
    EXPECT_EQ(messages.messages()[0].text, report);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), report);
}

// The report gathered in the background is the direct one, with xdg-mime on
// the PATH or without it (its applications then n/a); a context gone before
// the answers came gets nothing.
TEST(SystemInformation, GatheringInTheBackgroundGivesTheSameReport) {
    const QByteArray path = qgetenv("PATH");
    for (const QByteArray& searched : {path, QByteArray("/nonexistent")}) {
        SCOPED_TRACE(searched.toStdString());
        qputenv("PATH", searched);
        const std::string direct = GatherSystemInformation();
        QObject context;
        std::string later;
        int calls = 0;
        QEventLoop loop;
        GatherSystemInformationLater(&context, [&](const std::string& report) {
            later = report;
            ++calls;
            loop.quit();
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        if (calls == 0) loop.exec();
        qputenv("PATH", path);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(later, direct);
        EXPECT_TRUE(searched == path || direct.find("mailto: n/a\n.txt: n/a\n") != std::string::npos) << direct;
    }

    int calls = 0;
    {
        QObject shortLived;
        GatherSystemInformationLater(&shortLived, [&](const std::string&) { ++calls; });
    }
    QTest::qWait(400);
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace trakvio
