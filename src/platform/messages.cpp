#include "platform/messages.h"

#include <cstdio>
#include <string>

namespace trakvio {

namespace {
// The binding to the window system, installed once at start-up.
MessageHandler gHandler = nullptr;
void* gContext = nullptr;
}  // namespace

int ShowMessage(std::string_view text, std::string_view title, MessageButtons buttons, int defaultAnswer,
                MessageIcon icon) {
    if (gHandler) return gHandler(gContext, text, title, buttons, defaultAnswer, icon);
    std::string line;
    line.reserve(title.size() + text.size() + 3);
    line.append(title);
    line.append(": ");
    for (char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() != ' ') line.push_back(' ');
        } else if (c != '\r') {
            line.push_back(c);
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    line.push_back('\n');
    std::fputs(line.c_str(), stderr);
    return defaultAnswer;
}

void SetMessageHandler(MessageHandler handler, void* context) {
    gHandler = handler;
    gContext = context;
}

}  // namespace trakvio
