#include "app/input_box.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <utility>

namespace trakvio {
namespace {

InputBoxHook& Hook() {
    static InputBoxHook hook;
    return hook;
}

}  // namespace

InputBox::InputBox(QWidget* parent, const QString& title, const QString& prompt, const QString& text)
    : QDialog(parent) {
    setWindowTitle(title);
    // Positions of the original dialog at 96 DPI; Qt's logical pixels are
    // already scaled for the screen, so they are used as they are.
    setFixedSize(620, 130);
    prompt_ = new QLabel(prompt, this);
    prompt_->setGeometry(10, 8, 580, 20);
    edit_ = new QLineEdit(text, this);
    edit_->setGeometry(10, 32, 580, 20);
    edit_->setMaxLength(kInputBoxTextLimit);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setGeometry(20, 60, 40, 20);
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setGeometry(70, 60, 50, 20);
    connect(ok_, &QPushButton::clicked, this, [this] { done(kInputBoxOk); });
    connect(cancel_, &QPushButton::clicked, this, [this] { done(kInputBoxCancel); });
    edit_->selectAll();
    edit_->setFocus();
}

QString InputBox::text() const { return edit_->text().left(kInputBoxTextLimit); }

int RunInputBox(QWidget* parent, const QString& title, const QString& prompt, QString& text) {
    InputBox box(parent, title, prompt, text);
    if (Hook()) {
        InputBoxHook hook = Hook();
        QTimer::singleShot(0, &box, [&box, hook] { hook(box); });
    }
    int result = box.exec();
    if (result != kInputBoxOk) return kInputBoxCancel;
    text = box.text();
    return kInputBoxOk;
}

void SetInputBoxHookForTest(InputBoxHook hook) { Hook() = std::move(hook); }

}  // namespace trakvio
