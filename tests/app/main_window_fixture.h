// The main window as the program sets it up, for the window tests: the
// configuration from the template beside the sources with the track list and
// graph windows shown and two base maps, its folders in a scratch folder, the
// store with the configured capacities, the real child windows. Messages, the
// titles of the file dialogs and the locations Help opens are recorded.
#pragma once

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/desktop_startup.h"
#include "app/file_dialog.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/window_test_support.h"
#include "platform/messages.h"
#include "test_support.h"

namespace trakvio {

inline std::filesystem::path ExampleLog(const char* name) {
    return std::filesystem::path(TRAKVIO_SOURCE_DIR) / "data/examples/logs" / name;
}

class MainWindowFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        fs::create_directories(scratch_ / "data");
        std::ifstream in(fs::path(TRAKVIO_SOURCE_DIR) / "data/_Trakvio.ini");
        std::ofstream ini(scratch_ / "Trakvio.ini");
        int baseMaps = 0;
        for (std::string line; std::getline(in, line);) {
            if (line.starts_with(";showtrklistwindow=")) line = "showtrklistwindow=Show";
            if (line.starts_with(";showgrpwindow=")) line = "showgrpwindow=Show";
            if (line.starts_with("TileCacheFolder=")) line = "TileCacheFolder=" + (scratch_ / "cache").string();
            if (line.starts_with("WorkFolder=")) line = "WorkFolder=" + (scratch_ / "work").string();
            if (line.starts_with("basemap=") && ++baseMaps > 2) continue;
            ini << line << '\n';
        }
        ini.close();
        const char* xdg = std::getenv("XDG_DATA_HOME");
        if (xdg) savedXdg_ = xdg;
        hadXdg_ = xdg != nullptr;
        ::setenv("XDG_DATA_HOME", (scratch_ / "data").c_str(), 1);
        catcher_.emplace();

        DesktopOptions options;
        options.hasIni = true;
        options.ini = scratch_ / "Trakvio.ini";
        MainWindowOptions windowOptions;
        ASSERT_EQ(SetUpDesktopState(options, state_, windowOptions.configPath), 0);
        // No tile server: the map draws over white without waiting.
        for (BaseMap& map : state_.settings.baseMaps) {
            BaseMap named;
            named.name = map.name;
            map = named;
        }
        state_.settings.currentBaseMap = -1;
        windowOptions.clientWidth = 1000;
        windowOptions.clientHeight = 600;
        windowOptions.keepOnScreen = false;
        windowOptions.openLocation = [this](const fs::path& path) {
            opened_.push_back(path);
            return true;
        };
        window_ = std::make_unique<MainWindow>(state_, windowOptions);
        window_->ShowAtStart();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }
    void TearDown() override {
        test::DropPendingWatches();
        window_.reset();
        catcher_.reset();
        SetFileDialogHookForTest(nullptr);
        if (hadXdg_) {
            ::setenv("XDG_DATA_HOME", savedXdg_.c_str(), 1);
        } else {
            ::unsetenv("XDG_DATA_HOME");
        }
    }

    const std::vector<test::MessageCatcher::Message>& messages() const { return catcher_->messages(); }

    // The file dialogs of the next command choose these files in turn; once
    // the answers are used up they are cancelled.
    void AnswerDialogs(std::vector<std::vector<std::filesystem::path>> answers) {
        auto queue = std::make_shared<std::vector<std::vector<std::filesystem::path>>>(std::move(answers));
        SetFileDialogHookForTest([this, queue](QFileDialog& dialog) {
            dialogTitles_.push_back(dialog.windowTitle().toStdString());
            if (queue->empty()) {
                dialog.reject();
                return;
            }
            QStringList names;
            for (const auto& path : queue->front()) names << u'"' + QStringFromPath(path.filename()) + u'"';
            dialog.setDirectory(QStringFromPath(queue->front().front().parent_path()));
            dialog.selectFile(names.size() == 1 ? QStringFromPath(queue->front().front()) : names.join(u' '));
            queue->erase(queue->begin());
            static_cast<QDialog&>(dialog).accept();  // QFileDialog::accept is protected
        });
    }

    test::ScratchFolder scratch_;
    std::string savedXdg_;
    bool hadXdg_ = false;
    AppState state_;
    std::optional<test::MessageCatcher> catcher_;  // emplaced again after a test's own handler
    std::vector<std::filesystem::path> opened_;
    std::vector<std::string> dialogTitles_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace trakvio
