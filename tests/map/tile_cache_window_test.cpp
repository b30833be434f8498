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
    }
    QString Cell(int row, int column) { return window_->list()->topLevelItem(row)->text(column); }

    test::ScratchFolder scratch_;
    fs::path cache_;
    AppState state_;
    std::unique_ptr<TileCacheWindow> window_;
};

TEST_F(TileCacheWindowTest, RowsFiguresAndButtons) {
    window_ = std::make_unique<TileCacheWindow>(state_);
    window_->show();  // showing refreshes the list
    QTreeWidget* list = window_->list();
    ASSERT_EQ(list->topLevelItemCount(), 4);
    const QStringList header = {"#", "Tile ID", "Tile name", "folders", "files", "size (bytes)"};
    for (int c = 0; c < 6; ++c) EXPECT_EQ(list->headerItem()->text(c), header[c]);
    EXPECT_EQ(list->columnWidth(2), 140);
    EXPECT_EQ(Cell(0, 0), QStringLiteral(" 1"));
    EXPECT_EQ(Cell(0, 1), QStringLiteral("osm"));
    EXPECT_EQ(Cell(0, 2), QStringLiteral("OpenStreetMap"));
    EXPECT_EQ(Cell(0, 3), QStringLiteral("3"));
    EXPECT_EQ(Cell(0, 4), QStringLiteral("1"));
    EXPECT_EQ(Cell(0, 5), QStringLiteral("1,048,576"));
    EXPECT_EQ(list->topLevelItem(0)->textAlignment(5) & Qt::AlignRight, Qt::AlignRight);
    EXPECT_EQ(Cell(1, 2), QStringLiteral("地理院地図"));
    EXPECT_EQ(Cell(1, 3), QStringLiteral("2"));  // the link is neither counted nor followed
    EXPECT_EQ(Cell(1, 5), QStringLiteral("4"));
    EXPECT_EQ(Cell(2, 3) + Cell(2, 4) + Cell(2, 5), QStringLiteral("000"));
    EXPECT_EQ(Cell(3, 0), QStringLiteral("total"));
    EXPECT_EQ(Cell(3, 3), QStringLiteral("5"));
    EXPECT_EQ(Cell(3, 4), QStringLiteral("2"));
    EXPECT_EQ(Cell(3, 5), QStringLiteral("1,048,580"));
    window_->grab().save("/tmp/trakvio_tile_cache.png");

    // Update walks again.
    test::WriteFile(cache_ / "osm" / "13" / "1.png", "12");
    QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("update")), Qt::LeftButton);
    EXPECT_EQ(Cell(0, 4), QStringLiteral("2"));
    EXPECT_EQ(Cell(0, 5), QStringLiteral("1,048,578"));
    // Ok hides.
    QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("ok")), Qt::LeftButton);
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(TileCacheWindowTest, ClearCacheDeletesCheckedSetsAfterConfirmation) {
    window_ = std::make_unique<TileCacheWindow>(state_);
    window_->show();
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
    EXPECT_EQ(Cell(1, 4), QStringLiteral("0"));
    EXPECT_EQ(Cell(3, 5), QStringLiteral("1,048,576"));
}

}  // namespace
}  // namespace trakvio
