// The receiver's port dialog: the Bluetooth and USB serial ports in a list
// (port, connection, device name), the first row selected; Start, Retry
// (the caller lists the ports again) and Cancel.
#pragma once

#include <QDialog>
#include <vector>

#include "devices/port_list.h"

class QPushButton;
class QTreeWidget;

namespace trakvio {

// Results of the dialog.
inline constexpr int kPortDialogStart = 1;
inline constexpr int kPortDialogCancel = 2;
inline constexpr int kPortDialogRetry = 4;

class PortDialog : public QDialog {
    Q_OBJECT
  public:
    PortDialog(QWidget* parent, const std::vector<ReceiverPortEntry>& entries);
    // The row chosen with Start, -1 when none is selected.
    int selectedRow() const;

    QTreeWidget* list() const { return list_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* retryButton() const { return retry_; }
    QPushButton* cancelButton() const { return cancel_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QTreeWidget* list_;
    QPushButton* start_;
    QPushButton* retry_;
    QPushButton* cancel_;
};

}  // namespace trakvio
