// The desktop program's process entry and its closing clean-up: screenshots
// through the real binary, the command line, and the work folder.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/desktop_startup.h"
#include "app/main_window.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

TEST(DesktopEntry, ScreenshotsOfTheShownWindowsAfterLoadingTwoLogs) {
    const test::ScratchFolder scratch;
    const fs::path logs = fs::path(TRAKVIO_SOURCE_DIR) / "data/examples/logs";
    auto arg = [](const fs::path& path) { return " " + test::ShellQuote(path.string()); };
    const std::string binary = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen TZ=UTC XDG_DATA_HOME=" +
                               test::ShellQuote((scratch / "data").string()) + arg(TRAKVIO_GUI_PATH);
    std::string out, err;
    EXPECT_EQ(test::RunCommand(binary + " --screenshot" + arg(scratch / "shots") + " --size 640x400" +
                                   arg(logs / "takao_hike.gpx") + arg(logs / "kamakura_walk.kml"),
                               &out, &err),
              0)
        << err;
    const fs::path main = scratch / "shots/main.png", trackList = scratch / "shots/track_list.png";
    EXPECT_EQ(out, main.string() + "\n" + trackList.string() + "\n");
    EXPECT_EQ(QImage(QString::fromStdString(main.string())).width(), 640);
    EXPECT_FALSE(QImage(QString::fromStdString(trackList.string())).isNull());
    EXPECT_FALSE(fs::exists(scratch / "shots" / "graph.png"));
    // The user's folder got its configuration from the template.
    EXPECT_TRUE(fs::is_regular_file(scratch / "data" / "Trakvio" / "Trakvio.ini"));

    // A missing log ends with the loader's read error, as trakvio-cli does;
    // a usage error with 64.
    EXPECT_EQ(
        test::RunCommand(binary + " --screenshot" + arg(scratch / "shots2") + arg(scratch / "missing.gpx"), &err, &err),
        3);
    EXPECT_TRUE(fs::exists(scratch / "shots2" / "main.png"));
    EXPECT_EQ(test::RunCommand(binary + " --size 10", &err, &err), 64);
}

TEST(DesktopEntry, ArgumentsAndTheConfiguration) {
    const test::ScratchFolder scratch;
    std::ofstream(scratch / "my.ini") << "maxlogpoints=1234\nmaxtracks=7\nWorkFolder=" << (scratch / "work").string()
                                      << "\n";
    std::string ini = (scratch / "my.ini").string(), shots = "--screenshot=" + (scratch / "s").string();
    char* argv[] = {
        const_cast<char*>("trakvio"), const_cast<char*>("--ini"), ini.data(), shots.data(), const_cast<char*>("--size"),
        const_cast<char*>("800x500"), const_cast<char*>("a.gpx")};
    DesktopOptions options;
    ASSERT_EQ(ParseDesktopArguments(7, argv, options), 0);
    EXPECT_TRUE(options.screenshot);
    EXPECT_EQ(options.width, 800);
    EXPECT_EQ(options.height, 500);
    ASSERT_EQ(options.paths.size(), 1u);
    EXPECT_TRUE(options.paths[0].is_absolute());

    // The per-user folder (its error log, the cache folder) is the test's own.
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string savedData = oldData ? oldData : "";
    setenv("XDG_DATA_HOME", (scratch / "data").c_str(), 1);
    fs::create_directories(scratch / "data" / "Trakvio");
    std::ofstream(scratch / "data" / "Trakvio" / "q9_error_log.txt") << "old";
    AppState state;
    fs::path configPath;
    const int status = SetUpDesktopState(options, state, configPath);
    // An unreadable --ini file ends the start, as in trakvio-cli.
    DesktopOptions absent = options;
    absent.ini = scratch / "absent.ini";
    AppState other;
    fs::path otherPath;
    EXPECT_EQ(SetUpDesktopState(absent, other, otherPath), kDesktopExitFailure);
    if (oldData) {
        setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    } else {
        unsetenv("XDG_DATA_HOME");
    }
    ASSERT_EQ(status, 0);
    EXPECT_FALSE(fs::exists(scratch / "data" / "Trakvio" / "q9_error_log.txt"));
    EXPECT_EQ(configPath, scratch / "my.ini");
    EXPECT_EQ(state.store.maxlogpoints, 1234);
    EXPECT_EQ(state.store.maxtracks, 7);
    EXPECT_EQ(state.settings.workFolder.filename(), "q9work");
}

// A q9work folder (in any letter case) loses its q9zdir and the files and
// links right inside it, another folder only its q9zdir; links go as links,
// so nothing outside the work folder is touched.
TEST(WorkFolderCleanUp, OnlyTheProgramsFilesGoAndNothingOutside) {
    test::ScratchFolder scratch;
    fs::create_directories(scratch / "outside");
    std::ofstream(scratch / "outside" / "keep.txt") << "keep";
    for (const char* name : {"Q9Work", "mywork"}) {
        SCOPED_TRACE(name);
        const bool q9work = name[0] == 'Q';
        const fs::path work = scratch / name;
        fs::create_directories(work / "q9zdir");
        fs::create_directories(work / "captures");
        std::ofstream(work / "q9zdir" / "a.gpx") << "a";
        std::ofstream(work / "temp.q9t") << "t";
        std::ofstream(work / "captures" / "old.nmea") << "n";
        fs::create_symlink(scratch / "outside", work / "q9zdir" / "link");
        fs::create_symlink(scratch / "outside", work / "linked_folder");
        fs::create_symlink(scratch / "outside" / "keep.txt", work / "linked_file");
        EXPECT_EQ(CleanWorkFolder(q9work ? work : work / ""), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(work / "q9zdir")));
        EXPECT_EQ(fs::exists(work / "temp.q9t"), !q9work);
        EXPECT_EQ(fs::exists(fs::symlink_status(work / "linked_file")), !q9work);
        EXPECT_EQ(fs::exists(fs::symlink_status(work / "linked_folder")), !q9work);
        EXPECT_TRUE(fs::exists(work / "captures" / "old.nmea"));
        EXPECT_TRUE(fs::exists(scratch / "outside" / "keep.txt"));
    }
    // A q9zdir that is itself a link goes as a link.
    fs::create_symlink(scratch / "outside", scratch / "mywork" / "q9zdir");
    EXPECT_EQ(CleanWorkFolder(scratch / "mywork"), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(scratch / "mywork" / "q9zdir")));
    EXPECT_TRUE(fs::exists(scratch / "outside" / "keep.txt"));
    EXPECT_EQ(CleanWorkFolder(fs::path()), 0);
}

}  // namespace
}  // namespace trakvio
