// The message call of the core shown as Qt message boxes: the text, title,
// icon and buttons as the caller gave them, the answer mapped back to the
// kAnswer* values. Calls from worker threads are shown on the window thread
// while the worker waits.
#pragma once

#include <QMessageBox>

#include "platform/messages.h"

namespace trakvio {

QMessageBox::StandardButtons QtButtons(MessageButtons buttons);
QMessageBox::Icon QtIcon(MessageIcon icon);
// The kAnswer* value of a pressed button; `fallback` for anything else (the
// box closed without a button).
int AnswerFromQt(int button, int fallback);

// Installs the Qt message boxes as the core's message call.
void InstallQtMessageBoxes();

}  // namespace trakvio
