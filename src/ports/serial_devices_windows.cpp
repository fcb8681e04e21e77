// The serial ports Windows knows: SetupAPI's Ports class, with its names, and the ports the
// serial drivers announce under HARDWARE\DEVICEMAP\SERIALCOMM (virtual ports among them) that
// the class lacks.
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
#include "ports/port_map.h"
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

// The ports of SetupAPI's Ports class, with what the drivers say of them.
std::vector<SerialDevice> classPorts() {
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
    return found;
}

// The COM names of the ports the serial drivers announce, "COM7" and the like.
std::vector<std::wstring> announcedPorts() {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return names;
    }
    for (DWORD i = 0;; ++i) {
        std::wstring value(256, L'\0');
        std::wstring data(64, L'\0');
        auto valueSize = static_cast<DWORD>(value.size());
        auto dataSize = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, i, value.data(), &valueSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS) break;
        if (type != REG_SZ) continue;
        data.resize(wcsnlen(data.c_str(), dataSize / sizeof(wchar_t)));
        names.push_back(data);
    }
    RegCloseKey(key);
    return names;
}

int comNumber(const SerialDevice& device) {
    return ComNumberOf(std::string_view(device.node).substr(4));
}

}  // namespace

bool DevicePresent(const std::string& path) {
    const std::wstring wide = WideFromUtf8(path);
    // \\.\COM7: a DOS device the system knows, asked without opening it, so the line's
    // modem lines stay as they are.
    if (wide.rfind(L"\\\\.\\", 0) == 0) {
        std::wstring target(1024, L'\0');
        return QueryDosDeviceW(wide.c_str() + 4, target.data(),
                               static_cast<DWORD>(target.size())) != 0;
    }
    return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DeviceAccessible(const std::string& /*path*/) {
    // Any user may open a COM port that no other program holds.
    return true;
}

std::string NoAccessAdvice() {
    return "порт занят другой программой или недоступен: закройте программу, которая его "
           "держит, или проверьте его в Диспетчере устройств";
}

std::vector<SerialDevice> ListSerialDevices() {
    std::vector<SerialDevice> found = classPorts();
    for (const std::wstring& name : announcedPorts()) {
        SerialDevice serial;
        serial.node = "\\\\.\\" + Utf8FromWide(name);
        serial.stablePath = serial.node;
        const bool listed = std::any_of(found.begin(), found.end(), [&](const SerialDevice& d) {
            return comNumber(d) == comNumber(serial);
        });
        if (comNumber(serial) != 0 && !listed) found.push_back(std::move(serial));
    }
    // COM2 before COM10.
    std::sort(found.begin(), found.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return comNumber(a) < comNumber(b);
    });
    return found;
}

}  // namespace rv
