#pragma once

#include <QStringList>
#include <optional>

#include "ports/port_map.h"

class QTextStream;

// What the command line asks of the program. A new option adds a field here and its
// declaration and reading in command_line.cpp.
struct CommandLineOptions {
    // --com1..--com4; "" where not given.
    rv::PortDevices ports;
};

// Reads the program's arguments (the program's name first). With --help or --version it
// prints to `out` and gives exit code 0; a bad command line is reported on `err` and gives
// exit code 2. Otherwise no exit code: go on with `options`. Qt's own options (-platform,
// -style and the like) are accepted and left to QApplication.
std::optional<int> ParseCommandLine(const QStringList& arguments, CommandLineOptions& options,
                                    QTextStream& out, QTextStream& err);
