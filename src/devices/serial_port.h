// Serial port I/O on a device path with termios and poll: exclusive open,
// both directions flushed, the configured line settings in raw mode, and
// reads and writes bounded by poll time-outs. Works on USB and Bluetooth
// serial devices and on pseudo-terminals alike.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "config/settings.h"

namespace trakvio {

// Results of opening a port (the same codes the logger download reports).
inline constexpr int kPortOpened = 0;
inline constexpr int kPortCannotOpen = 1;     // the device cannot be opened or is in use
inline constexpr int kPortCannotPurge = 2;    // flushing the queues failed
inline constexpr int kPortCannotSetLine = 3;  // the line settings were refused

// Opens path for reading and writing, exclusively, flushes both directions
// and applies settings in raw mode (no echo, no line editing, no flow
// control). On success fd receives the descriptor (non-blocking).
int OpenSerialPort(const std::string& path, const SerialSettings& settings, int& fd);

// Writes all of text, waiting at most timeoutMs for room each time the
// queue is full. Returns false on failure or time-out.
bool WriteSerial(int fd, std::string_view text, int timeoutMs);

// Waits at most timeoutMs for input and reads what is there, at most room
// bytes. Returns the number of bytes read, 0 when nothing came in time, -1
// when the port failed or hung up.
long ReadSerial(int fd, char* buffer, size_t room, int timeoutMs);

// Flushes both directions and closes fd (nothing when fd < 0).
void CloseSerialPort(int fd);

}  // namespace trakvio
