#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the program needs of the operating system beyond the serial port and files: its name,
// where the ports and the settings live, the console and the command line. One implementation per
// platform (platform_posix.cpp, platform_windows.cpp); nothing above knows which.
namespace rv {

// The platform's name as the user is told it, e.g. "Linux x86_64" or "Windows x64".
std::string PlatformName();

// DefaultDevice and SettingsFilePath (ports/port_map.h) are the platform's too.

// Whether text names a device as the platform writes one (an absolute path on Linux,
// \\.\NAME on Windows), free of blanks.
bool IsDevicePath(std::string_view text);

// The device of a COM name as the system names its own serial ports: on Windows "\\.\COM7" for
// "COM7", for any number ComNumberOf takes. "" where COM names are only this program's four
// (Linux).
std::string SystemComDevice(std::string_view name);
// The COM names a user may give, as messages list them: "COM1..COM4" or "COM1..COM256".
std::string ComNamesHint();

// Where the settings file lives, as help texts name it ("$XDG_CONFIG_HOME/rv740x/ports.conf"),
// and a device as a user of this platform would type one ("/dev/ttyUSB0").
std::string SettingsFileHint();
std::string ExampleDevice();

// Why SettingsFilePath found no place, in full ("не заданы XDG_CONFIG_HOME и HOME") and in
// brief ("нет HOME").
std::string SettingsPathMissingReason();
std::string SettingsPathMissingBrief();

// The folder of the program's own data for this user: $XDG_DATA_HOME/rv740x (with
// ~/.local/share when XDG_DATA_HOME is unset or not absolute) on Linux, %APPDATA%\rv740x on
// Windows; "" when the environment names no such place (SettingsPathMissingReason says why).
std::string UserDataDirectory();

// The name of the account the program runs under, as the system knows it; "?" when it
// cannot tell.
std::string AccountName();

// The text of the last system error of the calling thread, in the system's language.
std::string LastSystemErrorText();

// The program's arguments in UTF-8, whatever the system passed.
std::vector<std::string> CommandLineUtf8(int argc, char** argv);
// Makes the console show UTF-8 text (a no-op where it always does).
void PrepareConsole();
// Calls `handler` on each Ctrl+C (from a signal handler or a console thread: it may only
// touch atomics). Waits in progress end early on platforms where a signal interrupts them.
void OnConsoleInterrupt(void (*handler)());

}  // namespace rv
