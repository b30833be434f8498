// The one message call of the program. Windows install a handler that shows a
// message box; without one (headless runs, tests) the message is printed to
// stderr on one line and the caller's default answer is taken.
#pragma once

#include <string_view>

namespace trakvio {

enum class MessageButtons { kOk, kOkCancel, kRetryCancel, kYesNo, kYesNoCancel };
enum class MessageIcon { kNone, kInformation, kWarning, kError };

// Answers, with the values of the usual message-box button ids.
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerRetry = 4;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// text and title are UTF-8. Returns the answer (one of kAnswer*).
int ShowMessage(std::string_view text, std::string_view title, MessageButtons buttons = MessageButtons::kOk,
                int defaultAnswer = kAnswerOk, MessageIcon icon = MessageIcon::kNone);

using MessageHandler = int (*)(void* context, std::string_view text, std::string_view title, MessageButtons buttons,
                               int defaultAnswer, MessageIcon icon);

// Installs the handler that shows messages (nullptr restores the headless one).
void SetMessageHandler(MessageHandler handler, void* context);

}  // namespace trakvio
