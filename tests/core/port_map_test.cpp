// Which device a COM name means: the sources' precedence, the settings file's lines, its
// atomic rewriting and the stable by-id names.

#include "ports/port_map.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pty_peer.h"

namespace rv {
namespace {

namespace fs = std::filesystem;

const std::string kFile = "/home/engineer/.config/rv740x/ports.conf";

// A fresh directory under the test's temporary directory, removed at the end.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "rv740x-ports-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Sets RV740X_COM1..4 for one test and restores "unset" afterwards.
class EnvironmentPorts_ {
  public:
    explicit EnvironmentPorts_(const PortDevices& values) {
        for (int i = 0; i < kPortCount; ++i) {
            const std::string name = "RV740X_COM" + std::to_string(i + 1);
            if (values[size_t(i)] == "<unset>") {
                unsetenv(name.c_str());
            } else {
                setenv(name.c_str(), values[size_t(i)].c_str(), 1);
            }
        }
    }
    ~EnvironmentPorts_() {
        for (int i = 1; i <= kPortCount; ++i) unsetenv(("RV740X_COM" + std::to_string(i)).c_str());
    }
};

// One COM name (COM2) through all four sources: the settings file's text is parsed as the
// program reads it, so its bad lines fall through to the next source.
TEST(PortMap, SourcesAndSettingsLines) {
    struct Case {
        const char* name;
        std::string commandLine;
        std::string environment;  // "<unset>" for no variable
        std::string file;
        std::string device;
        PortSource source;
        std::vector<std::string> warnings;  // expected, each after "FILE:LINE: "
    };
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const std::vector<Case> cases = {
        {"nothing set", "", "<unset>", "", "/dev/ttyS1", PortSource::Default, {}},
        {"file", "", "<unset>", "COM2=" + byId + "\n", byId, PortSource::SettingsFile, {}},
        {"environment over file",
         "",
         "/dev/ttyUSB3",
         "COM2=" + byId,
         "/dev/ttyUSB3",
         PortSource::Environment,
         {}},
        {"command line over all",
         "/tmp/line",
         "/dev/ttyUSB3",
         "COM2=" + byId,
         "/tmp/line",
         PortSource::CommandLine,
         {}},
        {"empty variable counts as unset",
         "",
         "",
         "COM2=/dev/ttyACM0",
         "/dev/ttyACM0",
         PortSource::SettingsFile,
         {}},
        {"other names do not leak",
         "",
         "<unset>",
         "COM1=/dev/ttyUSB0\nCOM3=/dev/ttyUSB1",
         "/dev/ttyS1",
         PortSource::Default,
         {}},
        {"comments, blanks, spaces, CRLF",
         "",
         "<unset>",
         "# adapter on the bench\n\n   COM2 =  /dev/ttyUSB0  \r\n# end\n",
         "/dev/ttyUSB0",
         PortSource::SettingsFile,
         {}},
        {"lower-case name, no final newline",
         "",
         "<unset>",
         "com2=/dev/ttyACM1",
         "/dev/ttyACM1",
         PortSource::SettingsFile,
         {}},
        {"no equals sign",
         "",
         "<unset>",
         "COM2 /dev/ttyUSB0\n",
         "/dev/ttyS1",
         PortSource::Default,
         {"1: нет знака \"=\""}},
        {"unknown names",
         "",
         "<unset>",
         "COM5=/dev/a\nCOM0=/dev/b\nCOM=/dev/c\nCOM22=/dev/d\n",
         "/dev/ttyS1",
         PortSource::Default,
         {"1: неизвестное имя порта \"COM5\"", "2: неизвестное имя порта \"COM0\"",
          "3: неизвестное имя порта \"COM\"", "4: неизвестное имя порта \"COM22\""}},
        {"empty device",
         "",
         "<unset>",
         "COM2=\n",
         "/dev/ttyS1",
         PortSource::Default,
         {"1: устройство \"\" для COM2 должно быть полным путём"}},
        {"relative device",
         "",
         "<unset>",
         "COM2=ttyUSB0",
         "/dev/ttyS1",
         PortSource::Default,
         {"1: устройство \"ttyUSB0\" для COM2 должно быть полным путём"}},
        {"blank inside the device",
         "",
         "<unset>",
         "COM2=/dev/tty USB0",
         "/dev/ttyS1",
         PortSource::Default,
         {"1: устройство \"/dev/tty USB0\""}},
        {"control byte",
         "",
         "<unset>",
         "COM2=/dev/tty\x01",
         "/dev/ttyS1",
         PortSource::Default,
         {"1: устройство"}},
        {"first of two wins",
         "",
         "<unset>",
         "COM2=/dev/ttyUSB0\n#\nCOM2=/dev/ttyUSB1\n",
         "/dev/ttyUSB0",
         PortSource::SettingsFile,
         {"3: COM2 уже задан в строке 1, строка пропущена"}},
        {"bad line among good ones, lines counted with comments",
         "",
         "<unset>",
         "# ports\nрусский текст\nCOM2=/dev/ttyUSB4\n",
         "/dev/ttyUSB4",
         PortSource::SettingsFile,
         {"2: нет знака \"=\""}},
        {"a bad line does not hide the environment",
         "",
         "/dev/ttyUSB3",
         "COM2=relative",
         "/dev/ttyUSB3",
         PortSource::Environment,
         {"1: устройство \"relative\""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EnvironmentPorts_ environment({"<unset>", c.environment, "<unset>", "<unset>"});
        const PortSettings settings = ParsePortSettings(c.file, kFile);
        const PortMap map =
            ResolvePorts({"", c.commandLine, "", ""}, EnvironmentPorts(), settings.devices);
        EXPECT_EQ(map[1].device, c.device);
        EXPECT_EQ(map[1].source, c.source);
        ASSERT_EQ(settings.warnings.size(), c.warnings.size());
        for (size_t i = 0; i < c.warnings.size(); ++i) {
            EXPECT_EQ(settings.warnings[i].rfind(kFile + ":" + c.warnings[i], 0), 0u)
                << settings.warnings[i];
        }
        // The other names keep their defaults whatever COM2's sources say.
        if (c.name != std::string("other names do not leak")) {
            EXPECT_EQ(map[0].device, "/dev/ttyS0");
            EXPECT_EQ(map[3].device, "/dev/ttyS3");
            EXPECT_EQ(map[3].source, PortSource::Default);
        }
    }
}

TEST(PortMap, SettingsFilePlace) {
    struct Case {
        const char* config;  // nullptr: unset
        const char* home;
        std::string path;
    };
    const std::vector<Case> cases = {
        {"/srv/cfg", "/home/a", "/srv/cfg/rv740x/ports.conf"},
        {nullptr, "/home/a", "/home/a/.config/rv740x/ports.conf"},
        {"", "/home/a", "/home/a/.config/rv740x/ports.conf"},
        {"relative/cfg", "/home/a", "/home/a/.config/rv740x/ports.conf"},
        {nullptr, nullptr, ""},
    };
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        if (c.config)
            setenv("XDG_CONFIG_HOME", c.config, 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        if (c.home)
            setenv("HOME", c.home, 1);
        else
            unsetenv("HOME");
        EXPECT_EQ(SettingsFilePath(), c.path);
    }
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", savedHome.c_str(), 1);
}

TEST(PortMap, SavingKeepsEveryOtherLine) {
    struct Case {
        const char* name;
        std::string before;  // "<none>": no file
        int index;
        std::string device;
        std::string after;
    };
    const std::vector<Case> cases = {
        {"new file", "<none>", 1, "/dev/ttyUSB0", "COM2=/dev/ttyUSB0\n"},
        {"append", "# mine\nCOM1=/dev/ttyS4\n", 2, "/dev/ttyACM0",
         "# mine\nCOM1=/dev/ttyS4\nCOM3=/dev/ttyACM0\n"},
        {"replace in place", "COM1=/dev/a\n COM2 = /dev/b \nCOM3=/dev/c\n", 1, "/dev/ttyUSB9",
         "COM1=/dev/a\nCOM2=/dev/ttyUSB9\nCOM3=/dev/c\n"},
        {"bad lines and duplicates", "oops\nCOM2=/dev/x\nCOM2=/dev/y\nCOM9=/dev/z", 1, "/dev/q",
         "oops\nCOM2=/dev/q\nCOM9=/dev/z\n"},
        {"remove", "COM4=/dev/ttyUSB0\n# keep\n", 3, "", "# keep\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDir dir;
        const fs::path file = dir.path() / "cfg" / "rv740x" / "ports.conf";
        if (c.before != "<none>") {
            fs::create_directories(file.parent_path());
            writeFile(file, c.before);
        }
        std::string error;
        ASSERT_TRUE(SavePortSetting(file.string(), c.index, c.device, error)) << error;
        EXPECT_EQ(readFile(file), c.after);
        // Only the file itself is left: the temporary one was renamed onto it.
        EXPECT_EQ(
            std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
        const PortSettings reread = ReadPortSettings(file.string());
        EXPECT_EQ(reread.devices[size_t(c.index)], c.device);
    }
}

TEST(PortMap, SavingThatFailsChangesNothing) {
    const ScratchDir dir;
    std::string error;
    // The settings directory's place is taken by a plain file.
    writeFile(dir.path() / "rv740x", "not a directory");
    EXPECT_FALSE(
        SavePortSetting((dir.path() / "rv740x" / "ports.conf").string(), 0, "/dev/a", error));
    EXPECT_NE(error.find((dir.path() / "rv740x").string()), std::string::npos) << error;
    EXPECT_EQ(readFile(dir.path() / "rv740x"), "not a directory");

    // The file's place is taken by a directory: the rename fails, no temporary file stays.
    const fs::path taken = dir.path() / "taken";
    fs::create_directories(taken / "ports.conf");
    error.clear();
    EXPECT_FALSE(SavePortSetting((taken / "ports.conf").string(), 0, "/dev/a", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(taken), fs::directory_iterator()), 1);

    // Refused devices write nothing.
    const fs::path file = dir.path() / "ports.conf";
    writeFile(file, "COM1=/dev/ttyS0\n");
    for (const std::string bad : {"ttyUSB0", "/dev/tty USB0", "/dev/a\nCOM2=/dev/b"}) {
        error.clear();
        EXPECT_FALSE(SavePortSetting(file.string(), 0, bad, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_FALSE(SavePortSetting(file.string(), 4, "/dev/a", error));
    EXPECT_EQ(readFile(file), "COM1=/dev/ttyS0\n");
}

TEST(PortMap, StableByIdName) {
    test::PtyPeer adapter;
    test::PtyPeer other;
    const ScratchDir dir;
    const fs::path byId = dir.path() / "by-id";
    fs::create_directories(byId);
    const fs::path link = byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    fs::create_symlink(adapter.path(), link);
    // A second name for the same device sorts later and is not taken.
    fs::create_symlink(adapter.path(), byId / "usb-zz-second-name");

    EXPECT_EQ(StableDevicePath(adapter.path(), byId.string()), link.string());
    EXPECT_EQ(StableDevicePath(link.string(), byId.string()), link.string());
    EXPECT_EQ(StableDevicePath(other.path(), byId.string()), other.path());
    EXPECT_EQ(StableDevicePath("/dev/rv740x-none", byId.string()), "/dev/rv740x-none");
    EXPECT_EQ(StableDevicePath(adapter.path(), (dir.path() / "missing").string()), adapter.path());
}

// What one run saves, the next run uses; the command line and the environment stay on top
// and cannot be changed through the file.
TEST(PortMap, SetupSavesForTheNextRun) {
    const ScratchDir dir;
    const std::string file = (dir.path() / "rv740x" / "ports.conf").string();
    const EnvironmentPorts_ environment({"<unset>", "<unset>", "/dev/ttyUSB3", "<unset>"});
    std::string error;
    {
        PortSetup first({"/tmp/cli-line", "", "", ""}, file);
        EXPECT_TRUE(first.warnings().empty());
        EXPECT_FALSE(first.changeable(0));
        EXPECT_FALSE(first.changeable(2));
        EXPECT_TRUE(first.changeable(1));
        EXPECT_FALSE(first.assign(0, "/dev/ttyUSB0", error));
        EXPECT_NE(error.find("параметр --com1"), std::string::npos) << error;
        EXPECT_FALSE(first.assign(2, "/dev/ttyUSB0", error));
        EXPECT_NE(error.find("переменная RV740X_COM3"), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(file));
        ASSERT_TRUE(first.assign(1, "/dev/ttyACM0", error)) << error;
        EXPECT_EQ(first.map()[1].device, "/dev/ttyACM0");
        EXPECT_EQ(first.map()[1].source, PortSource::SettingsFile);
    }
    writeFile(file, readFile(file) + "COM4=/dev/tty USB\n");
    const PortSetup next({"", "", "", ""}, file);
    EXPECT_EQ(next.map()[0].device, "/dev/ttyS0");
    EXPECT_EQ(next.map()[1].device, "/dev/ttyACM0");
    EXPECT_EQ(next.map()[1].source, PortSource::SettingsFile);
    EXPECT_EQ(next.map()[2].device, "/dev/ttyUSB3");
    EXPECT_EQ(next.map()[3].device, "/dev/ttyS3");
    ASSERT_EQ(next.warnings().size(), 1u);
    EXPECT_EQ(next.warnings()[0].rfind(file + ":2: ", 0), 0u) << next.warnings()[0];
}

}  // namespace
}  // namespace rv
