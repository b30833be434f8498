// Serial port discovery: the system's serial ports with what the system
// knows about them, the logger's port found by its identification text, and
// the receiver's port list (Bluetooth serial ports first, then USB ones).
// The choices are plain functions over a list, so tests inject their own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trakvio {

enum class PortTransport { kNative, kUsb, kBluetooth };

struct PortInfo {
    std::string path;         // device path, e.g. /dev/ttyUSB0
    std::string description;  // the system's description of the port
    PortTransport transport = PortTransport::kNative;
    int usbVendor = -1;  // USB vendor and product ids, -1 when unknown
    int usbProduct = -1;
    std::string manufacturer;      // USB manufacturer string
    std::string product;           // USB product string
    std::string bluetoothAddress;  // Bluetooth ports
};

// The serial ports present now (empty when none or when they cannot be
// listed), in the system's order.
std::vector<PortInfo> ListSystemPorts();

// Index of the first port whose description or product string contains
// idText (case-sensitive); an empty idText matches the first port. -1 when
// none matches.
int FindLoggerPort(const std::vector<PortInfo>& ports, std::string_view idText);

// One row of the receiver's port dialog.
struct ReceiverPortEntry {
    std::string connectedVia;  // "Bluetooth_SPP" or "USB"
    std::string deviceName;
    std::string portName;  // device path
};

inline constexpr int kMaxReceiverPorts = 10;

// Bluetooth serial ports first, then USB serial ports, at most maxEntries;
// other ports (built-in, unknown) are left out.
std::vector<ReceiverPortEntry> ReceiverPortEntries(const std::vector<PortInfo>& ports,
                                                   int maxEntries = kMaxReceiverPorts);

}  // namespace trakvio
