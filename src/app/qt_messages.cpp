#include "app/qt_messages.h"

#include <QApplication>
#include <QPushButton>
#include <QThread>

#include "app/qt_text.h"

namespace trakvio {

QMessageBox::StandardButtons QtButtons(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::kOkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MessageButtons::kRetryCancel:
            return QMessageBox::Retry | QMessageBox::Cancel;
        case MessageButtons::kYesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MessageButtons::kYesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case MessageButtons::kOk:
            break;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon QtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kInformation:
            return QMessageBox::Information;
        case MessageIcon::kWarning:
            return QMessageBox::Warning;
        case MessageIcon::kError:
            return QMessageBox::Critical;
        case MessageIcon::kNone:
            break;
    }
    return QMessageBox::NoIcon;
}

int AnswerFromQt(int button, int fallback) {
    switch (button) {
        case QMessageBox::Ok:
            return kAnswerOk;
        case QMessageBox::Cancel:
            return kAnswerCancel;
        case QMessageBox::Retry:
            return kAnswerRetry;
        case QMessageBox::Yes:
            return kAnswerYes;
        case QMessageBox::No:
            return kAnswerNo;
        default:
            return fallback;
    }
}

namespace {

QMessageBox::StandardButton QtButtonOf(int answer) {
    switch (answer) {
        case kAnswerCancel:
            return QMessageBox::Cancel;
        case kAnswerRetry:
            return QMessageBox::Retry;
        case kAnswerYes:
            return QMessageBox::Yes;
        case kAnswerNo:
            return QMessageBox::No;
        default:
            return QMessageBox::Ok;
    }
}

int ShowBox(const QString& text, const QString& title, MessageButtons buttons, int defaultAnswer, MessageIcon icon) {
    QMessageBox box(QtIcon(icon), title, text, QtButtons(buttons), QApplication::activeWindow());
    if (QAbstractButton* button = box.button(QtButtonOf(defaultAnswer))) {
        box.setDefaultButton(static_cast<QPushButton*>(button));
    }
    box.exec();
    // Closing a box with Cancel answers Cancel; a box without Cancel answers
    // the caller's default.
    const bool hasCancel = (QtButtons(buttons) & QMessageBox::Cancel) != 0;
    int fallback = hasCancel ? kAnswerCancel : defaultAnswer;
    QAbstractButton* clicked = box.clickedButton();
    return clicked ? AnswerFromQt(box.standardButton(clicked), fallback) : fallback;
}

int QtMessageHandler(void*, std::string_view text, std::string_view title, MessageButtons buttons, int defaultAnswer,
                     MessageIcon icon) {
    const QString qtText = QStringFromUtf8(text);
    const QString qtTitle = QStringFromUtf8(title);
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        return ShowBox(qtText, qtTitle, buttons, defaultAnswer, icon);
    }
    int answer = defaultAnswer;
    QMetaObject::invokeMethod(
        app, [&] { answer = ShowBox(qtText, qtTitle, buttons, defaultAnswer, icon); }, Qt::BlockingQueuedConnection);
    return answer;
}

}  // namespace

void InstallQtMessageBoxes() { SetMessageHandler(&QtMessageHandler, nullptr); }

}  // namespace trakvio
