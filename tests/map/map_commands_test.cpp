// The map window's pop-up menu: its items, and each command with its
// precondition met and not met, with the refreshes it asks of the main
// window.
#include <QAction>
#include <QMenu>

#include "map_window_fixture.h"

namespace trakvio::test {
namespace {

class MapCommands : public MapWindowFixture {
  protected:
    void SetUp() override {
        MapWindowFixture::SetUp();
        Load(ThreeTracks());
        Open();
    }
    static std::vector<TrackSpec> ThreeTracks() {
        auto tracks = TwoTracks();
        tracks.push_back({0x00FF00, 3, {{139.75, 35.01}, {139.76, 35.012}, {139.77, 35.014}}});
        return tracks;
    }
    // The track list's pick answers by ticking the given tracks.
    void PickAnswers(std::vector<int> tracks, int answer) {
        shell_.pickAnswer = [this, tracks, answer](std::string_view) {
            for (int t : tracks) state_.store.tracks[t].checked = 1;
            return answer;
        };
    }
    int Enabled() const {
        int n = 0;
        for (int i = 0; i < state_.store.pointCount; ++i) n += state_.store.points[i].enabled;
        return n;
    }
    void Select(const std::vector<int>& points) {
        for (int i : points) {
            state_.store.points[i].selected = -1;
            ++state_.store.selectedCount;
        }
    }
};

TEST_F(MapCommands, MenuItemsInOrder) {
    const QList<QAction*> actions = window_->popupMenu()->actions();
    std::vector<QString> items;
    for (QAction* action : actions) items.push_back(QString::number(action->data().toInt()) + " " + action->text());
    EXPECT_EQ(items, (std::vector<QString>{"1100 選択点を削除", "1101 選択点でトラック分割", "1102 トラック結合",
                                           "1103 選択範囲の削除点を復元", "1104 全範囲の削除点を復元",
                                           "1106 トラックの全点削除", "1107 トラックの全点復元", "1105 選択を解除",
                                           "1108 デフォルトカラーに変更", "1109 停留点削除"}));
    // Triggering an item runs its command.
    Select({3});
    actions[0]->trigger();
    EXPECT_EQ(state_.store.points[3].enabled, 0);
}

// Each command on the three tracks (points 0-10, 11-21, 22-24), with track 0
// ticked beforehand: the pick's ticks are cleared before it asks.
TEST_F(MapCommands, EachCommandWithItsPreconditionMetAndNot) {
    const struct {
        int command;
        std::vector<int> deleted, selected, ticked;  // before; ticked by the pick
        int pickAnswer;
        int enabled, tracks, selectedAfter, refreshes, messages;
        std::string prompt;
    } rows[] = {
        {kCmdDeleteSelected, {}, {}, {}, -1, 25, 3, 0, 0, 0, ""},
        {kCmdDeleteSelected, {}, {2, 3}, {}, -1, 23, 3, 0, 1, 0, ""},
        {kCmdRestoreSelectedRange, {2, 3}, {1}, {}, -1, 23, 3, 1, 0, 0, ""},  // needs two selected
        {kCmdRestoreSelectedRange, {2, 3}, {1, 4}, {}, -1, 25, 3, 2, 1, 0, ""},
        {kCmdClearSelection, {}, {1, 4}, {}, -1, 25, 3, 0, 0, 0, ""},
        {kCmdRestoreAll, {5, 15}, {}, {}, -1, 25, 3, 0, 1, 0, ""},
        {kCmdSplitAtSelection, {}, {}, {}, -1, 25, 3, 0, 0, 0, ""},
        {kCmdSplitAtSelection, {}, {3, 4}, {}, -1, 25, 3, 2, 0, 1, ""},  // a warning, no split
        {kCmdSplitAtSelection, {}, {4}, {}, -1, 25, 4, 0, 1, 0, ""},
        {kCmdJoinTracks, {}, {}, {0}, 1, 25, 3, 0, 0, 0, "選択トラックを結合"},
        {kCmdJoinTracks, {}, {}, {1, 2}, 2, 25, 2, 0, 1, 0, "選択トラックを結合"},
        {kCmdDeleteTrackPoints, {}, {}, {}, -1, 25, 3, 0, 0, 0, "選択トラックの全点削除"},  // Cancel
        {kCmdDeleteTrackPoints, {}, {}, {1}, 1, 14, 3, 0, 1, 0, "選択トラックの全点削除"},
        {kCmdRestoreTrackPoints, {12, 13, 23}, {}, {1}, 1, 24, 3, 0, 1, 0, "選択トラックの全点復元"},
        {kCmdDefaultColors, {}, {}, {}, -1, 25, 3, 0, 1, 0, ""},
        {kCmdDeleteStandstills, {}, {1}, {}, -1, 15, 3, 0, 1, 0, ""},  // a cluster inside track 0
    };
    state_.settings.ssmeterslessthan = 5000;
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.command << " with " << row.selected.size() << " selected");
        Load(ThreeTracks());
        for (int i : row.deleted) state_.store.points[i].enabled = 0;
        Select(row.selected);
        state_.store.tracks[0].checked = 1;
        PickAnswers(row.ticked, row.pickAnswer);
        shell_.pickPrompts.clear();
        const int refreshes = shell_.refreshTrackList, redraws = shell_.redrawGraph;
        MessageCatcher messages(kAnswerOk);
        window_->RunCommand(row.command);
        // Enabled points, tracks, selected points, list and graph refreshes, messages.
        EXPECT_EQ(
            (std::vector{Enabled(), state_.store.trackCount, state_.store.selectedCount,
                         shell_.refreshTrackList - refreshes, shell_.redrawGraph - redraws,
                         static_cast<int>(messages.messages().size())}),
            (std::vector{row.enabled, row.tracks, row.selectedAfter, row.refreshes, row.refreshes, row.messages}));
        EXPECT_EQ(shell_.pickPrompts,
                  row.prompt.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.prompt});
        if (row.selectedAfter == 0) {
            EXPECT_EQ(window_->rangeAnchor(), -1);
        }
    }

    // One track left: the join does not even ask.
    Load({TwoTracks()[0]});
    window_->RunCommand(kCmdJoinTracks);
    EXPECT_TRUE(shell_.pickPrompts.empty());
}

}  // namespace
}  // namespace trakvio::test
