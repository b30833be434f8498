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

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// What a report shows up to each line's colon, in order.
const std::vector<std::string> kLineStarts = {"[System Information]",
                                              "OS version/build: ",
                                              "Edition: ",
                                              "Version: ",
                                              "PCmake: ",
                                              "PCmodel: ",
                                              "CPU: ",
                                              "Screen: ",
                                              "WorkArea: ",
                                              "Display Size(px): ",
                                              "Display Size(mm): ",
                                              "Physical DPI: ",
                                              "Logical DPI: ",
                                              "Mail client",
                                              "  HKCU: ",
                                              "  HKLM: ",
                                              "mailto: ",
                                              ".txt: ",
                                              "PCname: ",
                                              "User: "};

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
}

TEST(SystemInformation, EmptyRootAndAMeasuredDisplay) {
    test::ScratchFolder root;
    SystemInfoValues values;
    ReadSystemFiles(root.path(), values);
    values.pixelWidth = 1920;
    values.pixelHeight = 1080;
    values.mmWidth = 508;  // a 23-inch display at 96 pixels per inch
    values.mmHeight = 286;
    const std::vector<std::string> lines = Lines(FormatSystemInformation(values));
    ASSERT_EQ(lines.size(), kLineStarts.size());
    EXPECT_EQ(lines[1], "OS version/build: 0.0/n/a");
    EXPECT_EQ(lines[2], "Edition: n/a 0bit");
    EXPECT_EQ(lines[3], "Version: n/a");
    EXPECT_EQ(lines[4], "PCmake: n/a");
    EXPECT_EQ(lines[6], "CPU: n/a");
    EXPECT_EQ(lines[7], "Screen: 0x0 (0x0)");
    EXPECT_EQ(lines[10], "Display Size(mm): 508x286 ( 23.0inch)");
    EXPECT_EQ(lines[11], "Physical DPI:  96.0  95.9");
    EXPECT_EQ(lines[15], "  HKLM: n/a");
}

TEST(SystemInformation, GatheredReportKeepsItsLinesAndGoesToTheClipboard) {
    const std::string report = GatherSystemInformation();
    if (std::getenv("TRAKVIO_SCREENSHOT_DIR")) std::fputs(report.c_str(), stdout);
    const std::vector<std::string> lines = Lines(report);
    ASSERT_EQ(lines.size(), kLineStarts.size()) << report;
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(kLineStarts[i], 0), 0u) << lines[i];
    EXPECT_NE(report.find(std::to_string(sizeof(void*) * 8) + "bit\n"), std::string::npos);
    EXPECT_EQ(report.find("Screen: 0x0"), std::string::npos) << "the offscreen screen has a size";

    test::MessageCatcher messages(kAnswerOk);
    ShowSystemInformation(report);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].title, "System Information");
    EXPECT_EQ(messages.messages()[0].text, report);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), report);
}

TEST(SystemInformation, WithoutXdgMimeTheApplicationsAreNa) {
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    const std::string report = GatherSystemInformation();
    std::string later;
    QObject context;
    QEventLoop loop;
    GatherSystemInformationLater(&context, [&](const std::string& text) {
        later = text;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    if (later.empty()) loop.exec();
    qputenv("PATH", path);
    EXPECT_NE(report.find("mailto: n/a\n.txt: n/a\n"), std::string::npos) << report;
    EXPECT_EQ(later, report);
}

TEST(SystemInformation, GatheringInTheBackgroundGivesTheSameReport) {
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
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(later, direct);

    // A context gone before the answers came: nothing is reported.
    calls = 0;
    {
        QObject shortLived;
        GatherSystemInformationLater(&shortLived, [&](const std::string&) { ++calls; });
    }
    QTest::qWait(400);
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace trakvio
