// The tile cache window over a generated cache folder: rows, figures with
// thousands separators, the total row, Ok, Update, and ClearCache with a
// symbolic link inside the cache.
#include "map/tile_cache_window.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "../app/window_test_support.h"
#include "test_support.h"

namespace trakvio {
namespace {

namespace fs = std::filesystem;

BaseMap Named(std::u16string id, std::u16string name) {
    BaseMap map;
    map.tileId = std::move(id);
    map.name = std::move(name);
    return map;
}

class TileCacheWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        cache_ = scratch_ / "cache";
        fs::create_directories(cache_ / "osm" / "12" / "3638");
        fs::create_directories(cache_ / "osm" / "13");
        test::WriteFile(cache_ / "osm" / "12" / "3638" / "1612.png", std::string(1048576, 'x'));
        fs::create_directories(scratch_ / "elsewhere");
        test::WriteFile(scratch_ / "elsewhere" / "keep.png", "keep");
        fs::create_directories(cache_ / "gsi" / "5" / "28");
        test::WriteFile(cache_ / "gsi" / "5" / "28" / "12.png", "1234");
        fs::create_directory_symlink(scratch_ / "elsewhere", cache_ / "gsi" / "5" / "link");
        state_.settings.tileCacheFolder = cache_;
        state_.settings.baseMaps = {Named(u"osm", u"OpenStreetMap"), Named(u"gsi", u"地理院地図"),
                                    Named(u"empty", u"Nothing yet")};
        window_ = std::make_unique<TileCacheWindow>(state_);
        window_->show();  // showing refreshes the list
    }
    // A row's cells joined by '|'.
    QString Row(int row) {
        QStringList cells;
        for (int c = 0; c < 6; ++c) cells << window_->list()->topLevelItem(row)->text(c);
        return cells.join('|');
    }

    test::ScratchFolder scratch_;
    fs::path cache_;
    AppState state_;
    std::unique_ptr<TileCacheWindow> window_;
};

TEST_F(TileCacheWindowTest, RowsFiguresAndButtons) {
    QTreeWidget* list = window_->list();
    ASSERT_EQ(list->topLevelItemCount(), 4);
    const QStringList header = {"#", "Tile ID", "Tile name", "folders", "files", "size (bytes)"};
    for (int c = 0; c < 6; ++c) EXPECT_EQ(list->headerItem()->text(c), header[c]);
    EXPECT_EQ(list->columnWidth(2), 140);
    // The link is neither counted nor followed.
    const QStringList rows = {" 1|osm|OpenStreetMap|3|1|1,048,576", " 2|gsi|地理院地図|2|1|4",
                              " 3|empty|Nothing yet|0|0|0", "total|||5|2|1,048,580"};
    for (int r = 0; r < 4; ++r) EXPECT_EQ(Row(r), rows[r]);
    EXPECT_EQ(list->topLevelItem(0)->textAlignment(5) & Qt::AlignRight, Qt::AlignRight);
    // Update walks again.
    test::WriteFile(cache_ / "osm" / "13" / "1.png", "12");
    QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("update")), Qt::LeftButton);
    EXPECT_EQ(Row(0), " 1|osm|OpenStreetMap|3|2|1,048,578");
    // Ok hides.
    QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("ok")), Qt::LeftButton);
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(TileCacheWindowTest, ClearCacheDeletesCheckedSetsAfterConfirmation) {
    QPushButton* clear = window_->findChild<QPushButton*>(QStringLiteral("clearCache"));
    {
        test::MessageCatcher nothingChecked(kAnswerOk);
        QTest::mouseClick(clear, Qt::LeftButton);
        EXPECT_EQ(nothingChecked.messages().size(), 1u);
    }
    window_->list()->topLevelItem(1)->setCheckState(0, Qt::Checked);
    {
        test::MessageCatcher no(kAnswerNo);
        QTest::mouseClick(clear, Qt::LeftButton);
        ASSERT_EQ(no.messages().size(), 1u);
        EXPECT_EQ(no.messages()[0].buttons, MessageButtons::kYesNo);
        EXPECT_TRUE(no.Saw("gsi"));
    }
    EXPECT_TRUE(fs::exists(cache_ / "gsi" / "5" / "28" / "12.png"));
    window_->list()->topLevelItem(1)->setCheckState(0, Qt::Checked);
    {
        test::MessageCatcher yes(kAnswerYes);
        QTest::mouseClick(clear, Qt::LeftButton);
    }
    EXPECT_FALSE(fs::exists(cache_ / "gsi"));
    EXPECT_TRUE(fs::exists(cache_ / "osm" / "12" / "3638" / "1612.png"));
    EXPECT_EQ(test::ReadFile(scratch_ / "elsewhere" / "keep.png"), "keep");
    EXPECT_EQ(Row(1), " 2|gsi|地理院地図|0|0|0");
    EXPECT_EQ(Row(3), "total|||3|1|1,048,576");
}

}  // namespace
}  // namespace trakvio
