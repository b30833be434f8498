#include "devices/port_list.h"

#include <libserialport.h>

namespace trakvio {
namespace {

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

std::string DeviceName(const PortInfo& port) {
    if (!port.product.empty() && port.description.find(port.product) == std::string::npos) {
        return port.description.empty() ? port.product : port.description + " (" + port.product + ")";
    }
    return port.description.empty() ? port.path : port.description;
}

}  // namespace

std::vector<PortInfo> ListSystemPorts() {
    std::vector<PortInfo> result;
    sp_port** ports = nullptr;
    if (sp_list_ports(&ports) != SP_OK || ports == nullptr) return result;
    for (sp_port** p = ports; *p != nullptr; ++p) {
        PortInfo info;
        info.path = Text(sp_get_port_name(*p));
        info.description = Text(sp_get_port_description(*p));
        switch (sp_get_port_transport(*p)) {
            case SP_TRANSPORT_USB: {
                info.transport = PortTransport::kUsb;
                int vid = -1, pid = -1;
                if (sp_get_port_usb_vid_pid(*p, &vid, &pid) == SP_OK) {
                    info.usbVendor = vid;
                    info.usbProduct = pid;
                }
                info.manufacturer = Text(sp_get_port_usb_manufacturer(*p));
                info.product = Text(sp_get_port_usb_product(*p));
                break;
            }
            case SP_TRANSPORT_BLUETOOTH:
                info.transport = PortTransport::kBluetooth;
                info.bluetoothAddress = Text(sp_get_port_bluetooth_address(*p));
                break;
            default:
                // rfcomm devices are Bluetooth serial links even where the
                // library does not say so.
                if (info.path.find("rfcomm") != std::string::npos) info.transport = PortTransport::kBluetooth;
                break;
        }
        result.push_back(std::move(info));
    }
    sp_free_port_list(ports);
    return result;
}

int FindLoggerPort(const std::vector<PortInfo>& ports, std::string_view idText) {
    for (size_t i = 0; i < ports.size(); ++i) {
        if (idText.empty() || ports[i].description.find(idText) != std::string::npos ||
            ports[i].product.find(idText) != std::string::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::vector<ReceiverPortEntry> ReceiverPortEntries(const std::vector<PortInfo>& ports, int maxEntries) {
    std::vector<ReceiverPortEntry> entries;
    for (PortTransport wanted : {PortTransport::kBluetooth, PortTransport::kUsb}) {
        for (const PortInfo& port : ports) {
            if (port.transport != wanted) continue;
            if (static_cast<int>(entries.size()) >= maxEntries) return entries;
            entries.push_back(
                {wanted == PortTransport::kBluetooth ? "Bluetooth_SPP" : "USB", DeviceName(port), port.path});
        }
    }
    return entries;
}

}  // namespace trakvio
