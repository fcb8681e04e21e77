// The serial ports Windows knows, from SetupAPI's Ports class.
// windows.h first, and initguid.h before the header that declares the class's GUID.
// clang-format off
#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <cfgmgr32.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <string_view>

#include "fileio/windows_text.h"
#include "ports/serial_devices.h"

namespace rv {

namespace {

std::wstring registryProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::wstring value(256, L'\0');
    DWORD needed = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(
            set, &device, property, nullptr, reinterpret_cast<BYTE*>(value.data()),
            static_cast<DWORD>(value.size() * sizeof(wchar_t)), &needed)) {
        return {};
    }
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

// The port's name ("COM7") from the device's own registry key.
std::wstring portName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    const HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    std::wstring name(64, L'\0');
    DWORD size = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    DWORD type = 0;
    const LONG result = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                         reinterpret_cast<BYTE*>(name.data()), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) return {};
    name.resize(wcsnlen(name.c_str(), name.size()));
    return name;
}

// A USB device's serial number is the last part of its instance ID, unless Windows made that
// part up (it then holds '&').
std::wstring usbSerial(DEVINST instance) {
    for (int depth = 0; depth < 2; ++depth) {
        std::wstring id(MAX_DEVICE_ID_LEN, L'\0');
        if (CM_Get_Device_IDW(instance, id.data(), static_cast<ULONG>(id.size()), 0) != CR_SUCCESS)
            return {};
        id.resize(wcsnlen(id.c_str(), id.size()));
        if (id.rfind(L"USB\\", 0) == 0) {
            const std::wstring last = id.substr(id.rfind(L'\\') + 1);
            return last.find(L'&') == std::wstring::npos ? last : std::wstring{};
        }
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, instance, 0) != CR_SUCCESS) return {};
        instance = parent;
    }
    return {};
}

}  // namespace

bool DeviceAccessible(const std::string& /*path*/) {
    // Any user may open a COM port that no other program holds.
    return true;
}

std::string NoAccessAdvice() {
    return "порт занят другой программой или недоступен: закройте программу, которая его "
           "держит, или проверьте его в Диспетчере устройств";
}

std::vector<SerialDevice> ListSerialDevices() {
    std::vector<SerialDevice> found;
    const HDEVINFO set =
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return found;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const std::wstring name = portName(set, device);
        // Printer ports (LPT) share the class.
        if (name.rfind(L"COM", 0) != 0) continue;
        SerialDevice serial;
        serial.node = "\\\\.\\" + Utf8FromWide(name);
        serial.stablePath = serial.node;
        serial.vendor = Utf8FromWide(registryProperty(set, device, SPDRP_MFG));
        serial.model = Utf8FromWide(registryProperty(set, device, SPDRP_FRIENDLYNAME));
        if (serial.model.empty())
            serial.model = Utf8FromWide(registryProperty(set, device, SPDRP_DEVICEDESC));
        serial.serial = Utf8FromWide(usbSerial(device.DevInst));
        found.push_back(std::move(serial));
    }
    SetupDiDestroyDeviceInfoList(set);
    // COM2 before COM10.
    const auto number = [](const SerialDevice& d) { return std::atoi(d.node.c_str() + 7); };
    std::sort(found.begin(), found.end(),
              [&](const SerialDevice& a, const SerialDevice& b) { return number(a) < number(b); });
    return found;
}

}  // namespace rv
