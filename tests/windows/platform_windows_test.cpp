// The Windows platform files on a Windows system (Wine in CI): port names, the settings file
// under %APPDATA%, files in a folder with Cyrillic letters replaced whole, and the serial
// port's refusal of what is not a serial device.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "configfile/configuration_file.h"
#include "fileio/platform_io.h"
#include "link/serial_port.h"
#include "ports/platform.h"
#include "ports/port_map.h"
#include "ports/serial_devices.h"

namespace rv {
namespace {

namespace fs = std::filesystem;

// A fresh folder "Конфигурации" in the user's temporary folder, written here in UTF-16 so the
// test does not lean on the conversions it checks.
class CyrillicFolder {
  public:
    CyrillicFolder() {
        std::wstring base(MAX_PATH + 1, L'\0');
        base.resize(GetTempPathW(static_cast<DWORD>(base.size()), base.data()));
        root_ = fs::path(base) / (L"rv740x-" + std::to_wstring(GetCurrentProcessId()));
        folder_ =
            root_ / L"\u041a\u043e\u043d\u0444\u0438\u0433\u0443\u0440\u0430\u0446\u0438\u0438";
        fs::create_directories(folder_);
    }
    ~CyrillicFolder() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    CyrillicFolder(const CyrillicFolder&) = delete;
    CyrillicFolder& operator=(const CyrillicFolder&) = delete;

    const fs::path& wide() const { return folder_; }
    const fs::path& root() const { return root_; }
    // The same folder as the program names it: UTF-8 bytes.
    std::string utf8() const {
        const std::u8string text = folder_.u8string();
        return std::string(text.begin(), text.end());
    }

  private:
    fs::path root_;
    fs::path folder_;
};

size_t entriesIn(const fs::path& folder) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(WindowsPlatform, ComNamesMapToDeviceNamesForAnyNumber) {
    struct Row {
        int index;
        const char* device;
    };
    for (const Row& row : {Row{0, R"(\\.\COM1)"}, Row{3, R"(\\.\COM4)"}, Row{9, R"(\\.\COM10)"},
                           Row{255, R"(\\.\COM256)"}}) {
        EXPECT_EQ(DefaultDevice(row.index), row.device);
    }
    struct Path {
        const char* text;
        bool device;
    };
    for (const Path& row :
         {Path{R"(\\.\COM12)", true}, Path{R"(\\?\USB#VID_0403)", true},
          Path{R"(C:\ports\line)", true}, Path{"COM3", false}, Path{"/dev/ttyS0", false},
          Path{R"(\\.\COM 3)", false}, Path{"", false}}) {
        EXPECT_EQ(IsDevicePath(row.text), row.device) << row.text;
    }
    EXPECT_EQ(PlatformName(), "Windows x64");
}

// The names Windows gives its serial ports, COM1 to COM256, stand for their devices wherever a
// device is given: the command line, the environment, ports.conf. Anything else is left as
// it is, for the device check to refuse.
TEST(WindowsPlatform, EveryComNumberNamesItsDevice) {
    struct Row {
        const char* given;
        const char* device;
    };
    for (const Row& row :
         {Row{"COM1", R"(\\.\COM1)"}, Row{"COM7", R"(\\.\COM7)"}, Row{"com12", R"(\\.\COM12)"},
          Row{"COM256", R"(\\.\COM256)"}, Row{"COM257", "COM257"}, Row{"COM0", "COM0"},
          Row{"COM07", "COM07"}, Row{"COM", "COM"}, Row{"COM 7", "COM 7"}, Row{"LPT1", "LPT1"},
          Row{R"(\\.\COM12)", R"(\\.\COM12)"}}) {
        EXPECT_EQ(DeviceFromUserText(row.given), row.device) << row.given;
    }
    const PortSettings settings =
        ParsePortSettings("COM2=COM12\nCOM3=COM300\nCOM4=com7\n", "ports.conf");
    EXPECT_EQ(settings.devices[1], R"(\\.\COM12)");
    EXPECT_EQ(settings.devices[2], "");
    EXPECT_EQ(settings.devices[3], R"(\\.\COM7)");
    ASSERT_EQ(settings.warnings.size(), 1u);
    EXPECT_NE(settings.warnings[0].find("ports.conf:2:"), std::string::npos)
        << settings.warnings[0];
}

// Every port Windows announces is listed, whatever its number, in the order of the numbers, and
// is present; a number no port has is not. The ports are those tests/wine/run_wine_tests.sh
// sets up, named in RV740X_TEST_LISTED_COMS.
TEST(WindowsPlatform, ListsEveryAnnouncedPort) {
    const char* names = std::getenv("RV740X_TEST_LISTED_COMS");
    if (names == nullptr) GTEST_SKIP() << "RV740X_TEST_LISTED_COMS names no ports";
    const std::vector<SerialDevice> devices = ListSerialDevices();
    std::string listed;
    for (const SerialDevice& device : devices) listed += device.node + " ";
    std::vector<std::size_t> places;
    std::stringstream list(names);
    for (std::string name; std::getline(list, name, ',');) {
        const std::string device = R"(\\.\)" + name;
        const auto found = std::find_if(devices.begin(), devices.end(),
                                        [&](const SerialDevice& d) { return d.node == device; });
        ASSERT_NE(found, devices.end()) << device << " is not among " << listed;
        EXPECT_EQ(found->stablePath, device);
        EXPECT_TRUE(DevicePresent(device)) << device;
        places.push_back(static_cast<std::size_t>(found - devices.begin()));
    }
    EXPECT_TRUE(std::is_sorted(places.begin(), places.end())) << listed;
    EXPECT_FALSE(DevicePresent(R"(\\.\COM250)"));
}

TEST(WindowsPlatform, PortsConfLivesUnderAppDataAndIsReplacedWhole) {
    const CyrillicFolder folder;
    const std::wstring appData = folder.wide().wstring();
    ASSERT_EQ(_wputenv_s(L"APPDATA", appData.c_str()), 0);
    const std::string path = SettingsFilePath();
    EXPECT_EQ(path, folder.utf8() + R"(\rv740x\ports.conf)");

    std::string error;
    ASSERT_TRUE(SavePortSetting(path, 2, R"(\\.\COM12)", error)) << error;
    ASSERT_TRUE(SavePortSetting(path, 0, R"(\\.\COM7)", error)) << error;
    // The file is where Windows says %APPDATA% is, and nothing else is left beside it.
    const fs::path wide = folder.wide() / L"rv740x" / L"ports.conf";
    ASSERT_TRUE(fs::exists(wide));
    EXPECT_EQ(entriesIn(wide.parent_path()), 1u);
    const PortSettings read = ReadPortSettings(path);
    EXPECT_TRUE(read.warnings.empty());
    EXPECT_EQ(read.devices[0], R"(\\.\COM7)");
    EXPECT_EQ(read.devices[2], R"(\\.\COM12)");
    // A Linux device is no Windows device: refused, the file as it was.
    EXPECT_FALSE(SavePortSetting(path, 1, "/dev/ttyUSB0", error));
    EXPECT_EQ(ReadPortSettings(path).devices[1], "");
}

TEST(WindowsPlatform, ConfigurationFilesInACyrillicFolderAreReplacedAtomically) {
    const CyrillicFolder folder;
    const std::string path = folder.utf8() + "\\\u043f\u0435\u0447\u044c 1.rv740x.json";
    { std::ofstream(folder.wide() / L"\u043f\u0435\u0447\u044c 1.rv740x.json") << "old"; }
    ConfigImage image;
    image.LoadedId = 0x0A1B2C;
    InstrumentRecord record;
    record.Family = "17";
    record.Firmware = "2.07";
    std::string error;
    ASSERT_TRUE(SaveConfigurationFile(path, image, record, error)) << error;
    EXPECT_EQ(entriesIn(folder.wide()), 1u);
    ConfigurationFile file;
    const LoadResult loaded = LoadConfigurationFile(path, file);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    EXPECT_EQ(file.Image.LoadedId, 0x0A1B2Cu);
    EXPECT_EQ(file.Instrument.Family, "17");

    // A folder that does not exist: refused with the reason, nothing made.
    EXPECT_FALSE(
        SaveConfigurationFile(folder.utf8() + "\\нет\\b.rv740x.json", image, record, error));
    EXPECT_NE(error.find("\u00ab"), std::string::npos) << error;
    EXPECT_EQ(entriesIn(folder.wide()), 1u);
}

TEST(WindowsPlatform, SerialPortRefusesWhatIsNoSerialDevice) {
    const CyrillicFolder folder;
    const fs::path file = folder.root() / L"line";
    { std::ofstream(file) << "x"; }
    SerialPort port;
    // No such port: status 5; a disk file: status 21.
    EXPECT_EQ(port.open(R"(\\.\COM250)", 9600), SerialPort::OpenResult::CannotOpen);
    EXPECT_EQ(port.open(Utf8FromPath(file), 9600), SerialPort::OpenResult::NotCharDevice);
    EXPECT_FALSE(port.isOpen());
}

}  // namespace
}  // namespace rv
