#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace rv {

// Which line each of COM1..COM4 means: a device, or the network address of a gateway's port
// (rfc2217://HOST:PORT, tcp://HOST:PORT). Sources, highest first: the command line, the
// environment (RV740X_COM1..RV740X_COM4), the settings file, then /dev/ttyS0../dev/ttyS3.
inline constexpr int kPortCount = 4;

enum class PortSource { CommandLine, Environment, SettingsFile, Default };

struct PortMapping {
    std::string device;
    PortSource source = PortSource::Default;
};

using PortMap = std::array<PortMapping, kPortCount>;
// One device per COM name, index 0 for COM1; an empty string means "not given here".
using PortDevices = std::array<std::string, kPortCount>;

// The highest COM number there is: Windows numbers its ports from COM1 to COM256.
inline constexpr int kHighestComNumber = 256;

// "COM1".."COM256" in any letter case, without leading zeros: 1..256; anything else: 0.
int ComNumberOf(std::string_view name);
// "COM1".."COM4" in any letter case: 0..3; anything else: -1.
int PortIndexOf(std::string_view name);
// "COM1".."COM4" for index 0..3.
std::string PortName(int index);
// The default device of a COM name: /dev/ttyS0 for COM1 and so on.
std::string DefaultDevice(int index);
// A device as the user gave it, as the port opens it: a COM name that the system itself gives a
// port becomes that port's device (on Windows "COM7" is \\.\COM7); anything else stays as it
// is.
std::string DeviceFromUserText(std::string_view text);
// How a source is named to the user, e.g. "переменная RV740X_COM2" for the environment.
std::string PortSourceText(PortSource source, int index);

// The highest source that names a device, for each COM name.
PortMap ResolvePorts(const PortDevices& commandLine, const PortDevices& environment,
                     const PortDevices& settingsFile);
// RV740X_COM1..RV740X_COM4 from the process environment; unset or empty give "".
PortDevices EnvironmentPorts();

// The settings file as read: the devices it names and one warning per line it skipped,
// each naming the file and the line.
struct PortSettings {
    PortDevices devices;
    std::vector<std::string> warnings;
};

// $XDG_CONFIG_HOME/rv740x/ports.conf, with ~/.config when XDG_CONFIG_HOME is unset or not
// absolute; "" when neither it nor HOME is usable.
std::string SettingsFilePath();
// Lines "COMn=DEVICE"; blank lines and lines starting with '#' are ignored. `fileName` only
// names the file in the warnings.
PortSettings ParsePortSettings(std::string_view text, const std::string& fileName);
// A missing file names nothing and warns of nothing; an unreadable one gives one warning.
PortSettings ReadPortSettings(const std::string& path);

// Sets COM name `index` to `device` (read as DeviceFromUserText reads it) in the settings file
// ("" removes it), keeping every other
// line as it was. The file is replaced atomically: a temporary file in the same directory,
// then a rename; the directory is made when missing. On failure the old file is untouched and
// `error` says why.
bool SavePortSetting(const std::string& path, int index, const std::string& device,
                     std::string& error);

// Why `name` cannot name a line, as a sentence for the user; empty when it is a device path
// or a well-formed network address.
std::string LineNameProblem(std::string_view name);

// The /dev/serial/by-id link that leads to the same device, when there is one: such a link
// keeps naming the adapter after it is plugged in again. Otherwise the device itself (and a
// network address as it is).
std::string StableDevicePath(const std::string& device,
                             const std::string& byIdDirectory = "/dev/serial/by-id");

// The program's view of the mapping: resolves the four sources once and changes the settings
// file on request. The window and the command-line tools each hold one.
class PortSetup {
  public:
    // Reads the environment and the settings file at `settingsPath` ("" for none).
    PortSetup(PortDevices commandLine, std::string settingsPath);

    const PortMap& map() const { return map_; }
    const std::string& settingsPath() const { return settingsPath_; }
    // The settings file's warnings from the last reading.
    const std::vector<std::string>& warnings() const { return warnings_; }
    // Whether the settings file decides this COM name (the command line and the environment
    // leave it alone).
    bool changeable(int index) const;
    // Saves `device` ("" for the default) for the COM name and resolves again. Refused, with
    // `error` set, when the command line or the environment sets that name or the file cannot
    // be written.
    bool assign(int index, const std::string& device, std::string& error);

  private:
    void resolve();

    PortDevices commandLine_;
    PortDevices environment_;
    std::string settingsPath_;
    std::vector<std::string> warnings_;
    PortMap map_;
};

}  // namespace rv
