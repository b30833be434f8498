// The map window's pop-up menu: its items, and each command with its
// precondition met and not met, with the refreshes it asks of the main
// window.
#include <QAction>
#include <QMenu>

#include "compute/default_colors.h"
#include "map_window_fixture.h"

namespace trakvio::test {
namespace {

class MapCommands : public MapWindowFixture {
  protected:
    void SetUp() override {
        MapWindowFixture::SetUp();
        auto tracks = TwoTracks();
        tracks.push_back({0x00FF00, 3, {{139.75, 35.01}, {139.76, 35.012}, {139.77, 35.014}}});
        Load(tracks);
        Open();
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
    void Select(std::initializer_list<int> points) {
        for (int i : points) {
            state_.store.points[i].selected = -1;
            ++state_.store.selectedCount;
        }
    }
};

TEST_F(MapCommands, MenuItemsInOrder) {
    const QList<QAction*> actions = window_->popupMenu()->actions();
    const std::vector<std::pair<int, const char*>> expected = {
        {1100, "選択点を削除"},           {1101, "選択点でトラック分割"},
        {1102, "トラック結合"},           {1103, "選択範囲の削除点を復元"},
        {1104, "全範囲の削除点を復元"},   {1106, "トラックの全点削除"},
        {1107, "トラックの全点復元"},     {1105, "選択を解除"},
        {1108, "デフォルトカラーに変更"}, {1109, "停留点削除"},
    };
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actions[i]->data().toInt(), expected[i].first);
        EXPECT_EQ(actions[i]->text(), QString::fromUtf8(expected[i].second));
    }
    // Triggering an item runs its command.
    Select({3});
    actions[0]->trigger();
    EXPECT_EQ(state_.store.points[3].enabled, 0);
}

TEST_F(MapCommands, DeleteAndRestorePoints) {
    const int all = Enabled();
    window_->RunCommand(kCmdDeleteSelected);  // nothing selected: nothing happens
    EXPECT_EQ(shell_.refreshTrackList, 0);
    EXPECT_EQ(Enabled(), all);

    Select({2, 3});
    window_->RunCommand(kCmdDeleteSelected);
    EXPECT_EQ(Enabled(), all - 2);
    EXPECT_EQ(state_.store.selectedCount, 0);
    EXPECT_EQ(shell_.refreshTrackList, 1);
    EXPECT_EQ(shell_.redrawGraph, 1);
    // The rendering follows: the deleted points are no longer on the screen
    // as line ends, and the statistics were recomputed.
    EXPECT_EQ(state_.store.tracks[0].firstPoint, 0);

    Select({1});
    window_->RunCommand(kCmdRestoreSelectedRange);  // needs two selected
    EXPECT_EQ(Enabled(), all - 2);
    Select({4});
    window_->RunCommand(kCmdRestoreSelectedRange);
    EXPECT_EQ(Enabled(), all);
    EXPECT_EQ(state_.store.selectedCount, 2);  // the selection stays
    EXPECT_EQ(shell_.refreshTrackList, 2);

    window_->RunCommand(kCmdClearSelection);
    EXPECT_EQ(state_.store.selectedCount, 0);
    EXPECT_EQ(shell_.refreshTrackList, 2);  // no refresh, no rendering

    state_.store.points[5].enabled = 0;
    state_.store.points[15].enabled = 0;
    window_->RunCommand(kCmdRestoreAll);
    EXPECT_EQ(Enabled(), all);
    EXPECT_EQ(shell_.refreshTrackList, 3);
}

TEST_F(MapCommands, SplitWarnsForMoreThanOnePoint) {
    MessageCatcher messages(kAnswerOk);
    window_->RunCommand(kCmdSplitAtSelection);  // none selected: nothing, silently
    EXPECT_TRUE(messages.messages().empty());
    Select({3, 4});
    window_->RunCommand(kCmdSplitAtSelection);
    EXPECT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(state_.store.trackCount, 3);
    EXPECT_EQ(shell_.refreshTrackList, 0);
    window_->RunCommand(kCmdClearSelection);
    Select({4});
    window_->RunCommand(kCmdSplitAtSelection);
    EXPECT_EQ(state_.store.trackCount, 4);
    EXPECT_EQ(state_.store.trackEnd[0], 4);
    EXPECT_EQ(state_.store.selectedCount, 0);
    EXPECT_EQ(shell_.refreshTrackList, 1);
}

TEST_F(MapCommands, JoinAndWholeTrackCommandsAskForTracks) {
    PickAnswers({0}, 1);
    window_->RunCommand(kCmdJoinTracks);  // one ticked: no join
    ASSERT_EQ(shell_.pickPrompts.size(), 1u);
    EXPECT_EQ(shell_.pickPrompts[0], "選択トラックを結合");
    EXPECT_EQ(state_.store.trackCount, 3);

    PickAnswers({}, -1);
    window_->RunCommand(kCmdDeleteTrackPoints);  // Cancel
    EXPECT_EQ(shell_.pickPrompts.back(), "選択トラックの全点削除");
    EXPECT_EQ(shell_.refreshTrackList, 0);

    PickAnswers({1}, 1);
    window_->RunCommand(kCmdDeleteTrackPoints);
    for (int i = 11; i <= 21; ++i) EXPECT_EQ(state_.store.points[i].enabled, 0) << i;
    EXPECT_EQ(state_.store.tracks[0].checked, 0);  // ticks cleared before the pick
    PickAnswers({1}, 1);
    window_->RunCommand(kCmdRestoreTrackPoints);
    EXPECT_EQ(shell_.pickPrompts.back(), "選択トラックの全点復元");
    for (int i = 11; i <= 21; ++i) EXPECT_EQ(state_.store.points[i].enabled, 1) << i;

    PickAnswers({1, 2}, 2);
    window_->RunCommand(kCmdJoinTracks);
    EXPECT_EQ(state_.store.trackCount, 2);
    EXPECT_EQ(state_.store.trackEnd[1], 24);
    EXPECT_EQ(shell_.refreshTrackList, 3);

    // One track left: the join does not even ask.
    ClearTrackStore(state_.store);
    AppendPoint(state_.store, 35, 139, 0, 0, 0, 1);
    CloseTrack(state_.store);
    const size_t asked = shell_.pickPrompts.size();
    window_->RunCommand(kCmdJoinTracks);
    EXPECT_EQ(shell_.pickPrompts.size(), asked);
}

TEST_F(MapCommands, ColoursAndStandstills) {
    window_->RunCommand(kCmdDefaultColors);
    TrackStore copy = state_.store;
    AssignDefaultColors(copy);
    for (int t = 0; t < 3; ++t) EXPECT_EQ(state_.store.tracks[t].color, copy.tracks[t].color);
    EXPECT_EQ(shell_.refreshTrackList, 1);
    // The new colour is on the screen.
    const QColor first = ColorOfRgb(state_.store.tracks[0].color);
    EXPECT_EQ(QColor(Screen().pixel(WindowPos(2))), first);

    // Standstills: a cluster of points on one spot inside track 0.
    Select({1});
    state_.settings.ssmeterslessthan = 5000;
    window_->RunCommand(kCmdDeleteStandstills);
    EXPECT_EQ(state_.store.selectedCount, 0);
    EXPECT_EQ(window_->rangeAnchor(), -1);
    EXPECT_EQ(shell_.refreshTrackList, 2);
    EXPECT_LT(Enabled(), 25);
}

}  // namespace
}  // namespace trakvio::test
