// Track list window ("track_property"): one row per track with the cells of
// track_list_rows, a total row, rename, colour and width editing in place,
// and the pick mode that editing commands use to let the user tick tracks.
#pragma once

#include <QString>
#include <QWidget>

#include "app/app_state.h"
#include "app/shell.h"

namespace trakvio {

class TrackListWindow : public QWidget {
    Q_OBJECT
public:
    TrackListWindow(AppState& state, Shell& shell, QWidget* parent = nullptr);

    // Rebuilds every row from the store.
    void Refresh();
    // Modal pick: the prompt is the Ok button's caption. Returns the number
    // of ticked tracks after Ok (trackCount when "all" is ticked), -1 after
    // Cancel or when the window is closed during the pick; sets `checked`.
    // `caller` (and the main window, the caller's top level) are disabled
    // while the pick runs.
    int PickTracks(const QString& prompt, QWidget* caller);
    bool picking() const { return picking_; }

signals:
    // The user closed the window (it is only hidden): menu item 1023 is
    // enabled again.
    void closedByUser();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    AppState& state_;
    Shell& shell_;
    bool picking_ = false;
};

}  // namespace trakvio
