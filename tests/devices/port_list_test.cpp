// The port choices over an injected list of ports: the logger's port by its
// identification text, and the receiver's list.
#include "devices/port_list.h"

#include <gtest/gtest.h>

#include <tuple>

namespace trakvio {
namespace {

PortInfo Port(const std::string& path, const std::string& description, PortTransport transport,
              const std::string& product = {}) {
    PortInfo port;
    port.path = path;
    port.description = description;
    port.transport = transport;
    port.product = product;
    return port;
}

TEST(PortList, TheLoggerIsFoundByItsTextInTheDescriptionOrProduct) {
    std::vector<PortInfo> ports = {
        Port("/dev/ttyS0", "ttyS0", PortTransport::kNative),
        Port("/dev/ttyUSB0", "CP2102 USB to UART Bridge Controller", PortTransport::kUsb, "CP2102 Bridge"),
        Port("/dev/ttyACM0", "GPS Logger", PortTransport::kUsb, "MTK USB Port"),
    };
    EXPECT_EQ(FindLoggerPort(ports, "MTK"), 2);
    EXPECT_EQ(FindLoggerPort(ports, "CP2102"), 1);
    EXPECT_EQ(FindLoggerPort(ports, "mtk"), -1);  // case counts
    EXPECT_EQ(FindLoggerPort(ports, ""), 0);      // empty: the first port
    EXPECT_EQ(FindLoggerPort({}, ""), -1);
}

TEST(PortList, ReceiverPortsListBluetoothFirstThenUsbAtMostTen) {
    std::vector<PortInfo> ports;
    ports.push_back(Port("/dev/ttyS0", "ttyS0", PortTransport::kNative));
    for (int i = 0; i < 8; ++i) {
        ports.push_back(
            Port("/dev/ttyUSB" + std::to_string(i), "USB serial " + std::to_string(i), PortTransport::kUsb));
    }
    ports.push_back(Port("/dev/rfcomm0", "GPS receiver", PortTransport::kBluetooth));
    ports.push_back(Port("/dev/rfcomm1", "", PortTransport::kBluetooth));
    ports.push_back(Port("/dev/ttyACM0", "u-blox 7", PortTransport::kUsb, "u-blox GNSS receiver"));

    std::vector<ReceiverPortEntry> entries = ReceiverPortEntries(ports);
    ASSERT_EQ(entries.size(), 10u);
    EXPECT_EQ(std::tie(entries[0].connectedVia, entries[0].deviceName, entries[0].portName),
              std::tuple("Bluetooth_SPP", "GPS receiver", "/dev/rfcomm0"));
    EXPECT_EQ(entries[1].deviceName, "/dev/rfcomm1");  // no description: the path
    EXPECT_EQ(std::tie(entries[2].connectedVia, entries[2].portName), std::tuple("USB", "/dev/ttyUSB0"));
    EXPECT_EQ(entries[9].portName, "/dev/ttyUSB7");  // the tenth; the u-blox does not fit

    ports.resize(3);
    ports.push_back(Port("/dev/ttyACM0", "u-blox 7", PortTransport::kUsb, "u-blox GNSS receiver"));
    entries = ReceiverPortEntries(ports);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].deviceName, "u-blox 7 (u-blox GNSS receiver)");
}

}  // namespace
}  // namespace trakvio
