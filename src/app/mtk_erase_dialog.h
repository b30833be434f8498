// The progress dialog shown while the logger's memory is erased: a bar that
// steps every second and starts over after 26 steps, and Cancel. Cancel,
// Escape and Delete set the erase's cancel flag; the erase thread's result
// ends the dialog through Finish.
#pragma once

#include <QDialog>
#include <QTimer>
#include <atomic>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

namespace trakvio {

class MtkEraseDialog : public QDialog {
    Q_OBJECT
  public:
    MtkEraseDialog(QWidget* parent, std::shared_ptr<std::atomic<bool>> cancel);

    // Ends the dialog with the erase's result (1 done, 2 cancelled or
    // failed, 3 port error).
    void Finish(int result);

    QProgressBar* bar() const { return bar_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QLabel* text() const { return text_; }
    // Advances the bar as one tick of the one-second timer does.
    void Tick();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

  private:
    std::shared_ptr<std::atomic<bool>> cancel_;
    QLabel* text_;
    QProgressBar* bar_;
    QPushButton* cancelButton_;
    QTimer timer_;
    int ticks_ = 0;
};

}  // namespace trakvio
