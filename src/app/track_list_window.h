// Track list window ("track_property"): one row per track with the cells of
// track_list_rows, a total row, rename, colour and width editing in place,
// and the pick mode that editing commands use to let the user tick tracks.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <array>

#include "app/app_state.h"
#include "app/shell.h"
#include "app/track_list_rows.h"

class QEventLoop;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace trakvio {

class TrackListWindow : public QWidget {
    Q_OBJECT
  public:
    TrackListWindow(AppState& state, Shell& shell, QWidget* parent = nullptr);

    // Rebuilds every row from the store. During a pick the ticks stay.
    void Refresh();
    // Modal pick: the prompt is the Ok button's caption. Returns the number
    // of ticked tracks after Ok (trackCount when "all" is ticked), -1 after
    // Cancel or when the window is closed during the pick; sets `checked`.
    // `caller` (and the main window, the caller's top level) are disabled
    // while the pick runs.
    int PickTracks(const QString& prompt, QWidget* caller);
    bool picking() const { return picking_; }

    // The controls, for the main window's screenshots and for tests.
    QTableWidget* table() const { return table_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    QListWidget* widthChooser() const { return widthChooser_; }

  signals:
    // The user closed the window (it is only hidden): menu item 1023 is
    // enabled again.
    void closedByUser();
    // The window was shown by a pick: menu item 1023 is greyed.
    void shownForPick();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void LayOut();
    void FillRow(int row, const TrackListRow& cells, bool trackRow);
    void SetCheckBoxes(bool on);
    void OnCellClicked(int row, int column);
    void RenameTrackAt(int row);
    void ChooseColorAt(int row);
    void OpenWidthChooser(int row);
    void ApplyWidth(int width, bool everyTrack);
    void EndPick(int result);

    AppState& state_;
    Shell& shell_;
    QTableWidget* table_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QListWidget* widthChooser_;
    bool picking_ = false;
    int pickResult_ = 0;  // 0 while a pick runs, 1 after Ok, -1 after Cancel
    int buttonWidth_ = 0;
    int widthRow_ = -1;  // track row whose width the chooser sets
    QEventLoop* pickLoop_ = nullptr;
    // The colour dialog's custom colours, kept while the program runs.
    std::array<QColor, 16> customColors_;
};

}  // namespace trakvio
