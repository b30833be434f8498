// The progress part of the main window's status bar. Windows install a
// handler; without one (headless runs, tests) each text is printed to stderr
// as one line.
#pragma once

#include <string_view>

namespace trakvio {

// text is UTF-8.
void ShowStatusText(std::string_view text);

using StatusTextHandler = void (*)(void* context, std::string_view text);
// Installs the handler (nullptr restores the headless one).
void SetStatusTextHandler(StatusTextHandler handler, void* context);

}  // namespace trakvio
