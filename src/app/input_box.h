// The input box "MYINPUTBOX": a caption, a prompt, one line of text, OK and
// Cancel, laid out at the fixed positions of the original dialog scaled by
// the screen's DPI. Every command that asks for a value uses it.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace trakvio {

// Longest text the box hands back, in UTF-16 units.
inline constexpr int kInputBoxTextLimit = 256;
// Results, with the control ids of the original dialog.
inline constexpr int kInputBoxOk = 3003;
inline constexpr int kInputBoxCancel = 3004;

class InputBox : public QDialog {
    Q_OBJECT
public:
    InputBox(QWidget* parent, const QString& title, const QString& prompt, const QString& text);

    QLineEdit* edit() const { return edit_; }
    QLabel* prompt() const { return prompt_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    // The edit's text cut to kInputBoxTextLimit units.
    QString text() const;

private:
    QLabel* prompt_;
    QLineEdit* edit_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

// Shows the box modally. On OK `text` becomes the edit's text (at most
// kInputBoxTextLimit units) and kInputBoxOk is returned; on Cancel or close
// `text` is unchanged and kInputBoxCancel is returned.
int RunInputBox(QWidget* parent, const QString& title, const QString& prompt, QString& text);

// Tests answer the box through this hook: it is called with the shown box
// and must end it (accept or reject). nullptr restores the interactive box.
using InputBoxHook = std::function<void(InputBox&)>;
void SetInputBoxHookForTest(InputBoxHook hook);

}  // namespace trakvio
