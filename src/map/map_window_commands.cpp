// The map window's pop-up menu commands (the editing operations of the track
// store with their preconditions and refreshes) and the clipboard copy.
#include <QClipboard>
#include <QGuiApplication>

#include "compute/default_colors.h"
#include "compute/standstill.h"
#include "compute/statistics.h"
#include "compute/track_edit.h"
#include "map/map_window.h"

namespace trakvio {
namespace {

void ClearChecked(TrackStore& store) {
    const int32_t n = HeldTrackCount(store);
    for (int32_t t = 0; t < n; ++t) store.tracks[t].checked = 0;
}

}  // namespace

void MapWindow::AfterEdit(bool recompute) {
    if (recompute) RecomputeStatistics(state_.store, 0);
    shell_.RefreshTrackList();
    // The point under the hover cross may be gone or moved.
    hoverPoint_ = -1;
    Render();
    // The graph shows the same points; it would go stale otherwise.
    shell_.RedrawGraph();
    update();
}

void MapWindow::RunCommand(int id) {
    TrackStore& store = state_.store;
    selectionStale_ = true;
    switch (id) {
        case kCmdDeleteSelected:
            if (DeleteSelectedPoints(store) == kEditDone) AfterEdit(true);
            break;
        case kCmdSplitAtSelection:
            // More than one selected point: the operation warns by itself.
            if (SplitTrackAtSelection(store) == kEditDone) AfterEdit(true);
            break;
        case kCmdJoinTracks:
            if (store.trackCount < 2) break;
            ClearChecked(store);
            if (shell_.PickTracks("選択トラックを結合") < 2) break;
            if (JoinCheckedTracks(store) == kEditDone) AfterEdit(true);
            break;
        case kCmdRestoreSelectedRange:
            if (RestoreSelectedRange(store) == kEditDone) AfterEdit(true);
            break;
        case kCmdRestoreAll:
            RestoreAllPoints(store);
            AfterEdit(true);
            break;
        case kCmdClearSelection:
            if (ClearSelection(store) == kEditDone) {
                rangeAnchor_ = -1;
                update();
            }
            break;
        case kCmdDeleteTrackPoints:
        case kCmdRestoreTrackPoints: {
            ClearChecked(store);
            const char* prompt = id == kCmdDeleteTrackPoints ? "選択トラックの全点削除" : "選択トラックの全点復元";
            if (shell_.PickTracks(prompt) < 1) break;
            if (SetTrackPointsEnabled(store, id == kCmdDeleteTrackPoints ? 0 : 1) == kEditDone) AfterEdit(true);
            break;
        }
        case kCmdDefaultColors:
            AssignDefaultColors(store);
            AfterEdit(false);
            break;
        case kCmdDeleteStandstills: {
            DeleteStandstillPoints(store, state_.settings.ssmeterslessthan);
            RecomputeStatistics(store, 0);
            const int32_t n = HeldPointCount(store);
            for (int32_t i = 0; i < n; ++i) store.points[i].selected = 0;
            store.selectedCount = 0;
            rangeAnchor_ = -1;
            AfterEdit(false);
            break;
        }
        default:
            break;
    }
}

void MapWindow::CopyPictureToClipboard() {
    if (!view_.fitted || tilesLayer_.isNull()) return;
    const QImage image = VisiblePicture();
    if (image.isNull()) return;
    QGuiApplication::clipboard()->setImage(image);
}

}  // namespace trakvio
