#pragma once

#include <string>
#include <vector>

namespace rv {

// A serial device found on the machine.
struct SerialDevice {
    std::string node;        // e.g. /dev/ttyUSB0
    std::string stablePath;  // the /dev/serial/by-id link when there is one, else node
    std::string vendor;      // as the device or the hardware database names it; may be empty
    std::string model;
    std::string serial;
    bool accessible = true;  // the user may open it for reading and writing
};

// The tty devices that sit on hardware (virtual consoles and pseudo-terminals are left out),
// sorted by node. Empty when udev cannot be asked.
std::vector<SerialDevice> ListSerialDevices();

// Whether the device is there now (the port is not opened to find out).
bool DevicePresent(const std::string& path);

// Whether the user may open the device for reading and writing.
bool DeviceAccessible(const std::string& path);

// What to tell a user who may not open a serial device.
std::string NoAccessAdvice();

}  // namespace rv
