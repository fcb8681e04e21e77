#include <libudev.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string_view>

#include "ports/port_map.h"
#include "ports/serial_devices.h"

namespace rv {

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
};

std::string property(udev_device* device, const char* name) {
    const char* value = udev_device_get_property_value(device, name);
    return value != nullptr ? value : "";
}

std::string firstProperty(udev_device* device, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        std::string value = property(device, name);
        if (!value.empty()) return value;
    }
    return {};
}

// The USB device's own strings, for machines where udev's database lacks them.
std::string usbAttribute(udev_device* device, const char* name) {
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
    if (usb == nullptr) return {};
    const char* value = udev_device_get_sysattr_value(usb, name);
    return value != nullptr ? value : "";
}

std::string byIdLink(udev_device* device) {
    constexpr std::string_view kById = "/dev/serial/by-id/";
    for (udev_list_entry* link = udev_device_get_devlinks_list_entry(device); link != nullptr;
         link = udev_list_entry_get_next(link)) {
        const std::string_view name = udev_list_entry_get_name(link);
        if (name.substr(0, kById.size()) == kById) return std::string(name);
    }
    return {};
}

}  // namespace

bool DevicePresent(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

bool DeviceAccessible(const std::string& path) { return access(path.c_str(), R_OK | W_OK) == 0; }

std::string NoAccessAdvice() {
    return "нет прав на это устройство: добавьте себя в группу dialout "
           "(sudo usermod -aG dialout $USER) и войдите в систему заново";
}

std::vector<SerialDevice> ListSerialDevices() {
    std::vector<SerialDevice> found;
    const std::unique_ptr<udev, UdevDeleter> context(udev_new());
    if (!context) return found;
    const std::unique_ptr<udev_enumerate, UdevDeleter> enumerate(udev_enumerate_new(context.get()));
    if (!enumerate) return found;
    udev_enumerate_add_match_subsystem(enumerate.get(), "tty");
    udev_enumerate_scan_devices(enumerate.get());

    for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate.get()); entry != nullptr;
         entry = udev_list_entry_get_next(entry)) {
        udev_device* device =
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry));
        if (device == nullptr) continue;
        const char* node = udev_device_get_devnode(device);
        // Consoles and pseudo-terminals have no parent device: they are not lines. A
        // built-in UART slot the kernel found no chip for has type 0.
        const char* type = udev_device_get_sysattr_value(device, "type");
        const bool emptySlot = type != nullptr && std::string_view(type) == "0";
        if (node != nullptr && udev_device_get_parent(device) != nullptr && !emptySlot) {
            SerialDevice serial;
            serial.node = node;
            serial.stablePath = byIdLink(device);
            if (serial.stablePath.empty()) serial.stablePath = StableDevicePath(serial.node);
            serial.vendor = firstProperty(device, {"ID_VENDOR_FROM_DATABASE", "ID_VENDOR"});
            if (serial.vendor.empty()) serial.vendor = usbAttribute(device, "manufacturer");
            serial.model = firstProperty(device, {"ID_MODEL_FROM_DATABASE", "ID_MODEL"});
            if (serial.model.empty()) serial.model = usbAttribute(device, "product");
            serial.serial = property(device, "ID_SERIAL_SHORT");
            if (serial.serial.empty()) serial.serial = usbAttribute(device, "serial");
            serial.accessible = DeviceAccessible(serial.node);
            found.push_back(std::move(serial));
        }
        udev_device_unref(device);
    }
    std::sort(found.begin(), found.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.node < b.node; });
    return found;
}

}  // namespace rv
