// Placeholder until the device commands are built.
#include "app/device_commands.h"

namespace trakvio {

DeviceCommands::DeviceCommands(AppState& state, Shell& shell, QWidget* mainWindow)
    : QObject(mainWindow), state_(state), shell_(shell), mainWindow_(mainWindow) {}
DeviceCommands::~DeviceCommands() = default;

void DeviceCommands::EraseLogger() {}
void DeviceCommands::ToggleCapture() {}
void DeviceCommands::OnNewFixes() {}
void DeviceCommands::OnReceiverFailed(int) {}

}  // namespace trakvio
