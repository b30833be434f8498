#include "platform/status_text.h"

#include <cstdio>

namespace trakvio {
namespace {

struct Handler {
    StatusTextHandler function = nullptr;
    void* context = nullptr;
};

// Set once by the window system at start-up (or by a test), like the message
// handler.
Handler& CurrentHandler() {
    static Handler handler;
    return handler;
}

}  // namespace

void ShowStatusText(std::string_view text) {
    const Handler& handler = CurrentHandler();
    if (handler.function != nullptr) {
        handler.function(handler.context, text);
        return;
    }
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

void SetStatusTextHandler(StatusTextHandler handler, void* context) { CurrentHandler() = Handler{handler, context}; }

}  // namespace trakvio
