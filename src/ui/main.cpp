#include <QApplication>
#include <QTextStream>
#include <cstdio>
#include <memory>
#include <optional>

#include "link/trace.h"
#include "ports/port_map.h"
#include "ui/app_windows.h"
#include "ui/command_line.h"
#include "ui/message_boxes.h"
#include "ui/port_menus.h"
#include "ui/qt_texts.h"

namespace {

// The command line is read before the window system is touched, so --help, --version and a
// bad option work without a display.
std::optional<int> readCommandLine(int argc, char* argv[], CommandLineOptions& options) {
    QCoreApplication app(argc, argv);
    InstallRussianQtTexts(app);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return ParseCommandLine(QCoreApplication::arguments(), options, out, err);
}

}  // namespace

int main(int argc, char* argv[]) {
    CommandLineOptions options;
    if (const std::optional<int> exitCode = readCommandLine(argc, argv, options)) return *exitCode;

    rv::PortSetup ports(options.ports, rv::SettingsFilePath());
    for (const std::string& warning : ports.warnings())
        std::fprintf(stderr, "%s\n", warning.c_str());

    std::unique_ptr<rv::TraceFile> trace;
    if (!options.tracePath.empty()) {
        trace = rv::TraceFile::Open(options.tracePath);
        if (!trace) {
            std::fprintf(stderr, "rv740x-config: не удаётся открыть файл трассировки «%s»\n",
                         options.tracePath.c_str());
            return 3;
        }
    }

    QApplication app(argc, argv);
    InstallRussianQtTexts(app);

    ModalMessageBoxes boxes;

    AppWindows windows(boxes, trace.get());
    PortMenus portMenus(windows.desk(), ports);
    return QApplication::exec();
}
