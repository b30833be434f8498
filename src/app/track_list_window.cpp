// Placeholder until the track list window is built.
#include "app/track_list_window.h"

#include <QCloseEvent>

namespace trakvio {

TrackListWindow::TrackListWindow(AppState& state, Shell& shell, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), shell_(shell) {
    resize(825, 250);
}

void TrackListWindow::Refresh() {}

int TrackListWindow::PickTracks(const QString&, QWidget*) { return -1; }

void TrackListWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
    emit closedByUser();
}

}  // namespace trakvio
