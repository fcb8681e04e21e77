#include "ui/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QTextStream>

#include "lineaddr/line_address.h"
#include "ports/platform.h"
#include "ports/port_map.h"
#include "rv740x_version.h"

namespace {

constexpr const char* kProgram = "rv740x-config";

// Options QApplication reads itself; declared so the parser lets them through.
const char* const kQtValueOptions[] = {"platform",        "platformpluginpath",
                                       "platformtheme",   "plugin",
                                       "qwindowgeometry", "qwindowicon",
                                       "qwindowtitle",    "style",
                                       "stylesheet",      "session",
                                       "display",         "geometry"};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

QString portOptionName(int index) { return QString("com%1").arg(index + 1); }

}  // namespace

std::optional<int> ParseCommandLine(const QStringList& arguments, CommandLineOptions& options,
                                    QTextStream& out, QTextStream& err) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QString::fromUtf8("Конфигуратор приборов RV7406 и RV7408.\n"
                          "Устройства COM-портов берутся из параметров --com1..--com4, затем из "
                          "переменных RV740X_COM1..RV740X_COM4, затем из файла настроек %1, "
                          "иначе %2..%3.")
            .arg(QString::fromStdString(rv::SettingsFileHint()),
                 QString::fromStdString(rv::DefaultDevice(0)),
                 QString::fromStdString(rv::DefaultDevice(rv::kPortCount - 1))));
    const QCommandLineOption help({"h", "help"}, QString::fromUtf8("Показать эту справку."));
    const QCommandLineOption version({"v", "version"}, QString::fromUtf8("Показать версию."));
    parser.addOption(help);
    parser.addOption(version);
    for (int i = 0; i < rv::kPortCount; ++i) {
        parser.addOption(QCommandLineOption(
            portOptionName(i),
            QString::fromUtf8("Устройство для COM%1, например %2, или сетевой адрес "
                              "шлюза: rfc2217://УЗЕЛ:ПОРТ, tcp://УЗЕЛ:ПОРТ.")
                .arg(i + 1)
                .arg(QString::fromStdString(rv::ExampleDevice())),
            QString::fromUtf8("устройство")));
    }
    const QCommandLineOption trace(
        "trace",
        QString::fromUtf8(
            "Записывать каждый кадр обмена с приборами в файл («-»: в поток ошибок)."),
        QString::fromUtf8("файл"));
    parser.addOption(trace);
    for (const char* name : kQtValueOptions) {
        QCommandLineOption qtOption(name, QString(), "value");
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    for (const char* name : kQtFlagOptions) {
        QCommandLineOption qtOption(name, QString());
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }

    const auto fail = [&](const QString& message) {
        err << kProgram << ": " << message << "\n"
            << QString::fromUtf8("Список параметров: %1 --help").arg(kProgram) << "\n";
        err.flush();
        return 2;
    };
    if (!parser.parse(arguments)) return fail(parser.errorText());
    if (parser.isSet(help)) {
        out << parser.helpText();
        out.flush();
        return 0;
    }
    if (parser.isSet(version)) {
        out << kProgram << " " << RV740X_VERSION << "\n";
        out.flush();
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail(QString::fromUtf8("лишний аргумент \"%1\"")
                        .arg(parser.positionalArguments().constFirst()));
    }
    CommandLineOptions parsed;
    for (int i = 0; i < rv::kPortCount; ++i) {
        if (!parser.isSet(portOptionName(i))) continue;
        const QString device = parser.value(portOptionName(i));
        if (device.trimmed().isEmpty()) {
            return fail(QString::fromUtf8("пустое устройство в --%1").arg(portOptionName(i)));
        }
        std::string problem;
        if (rv::IsNetworkLineName(device.toStdString()) &&
            !rv::ParseNetworkAddress(device.toStdString(), problem)) {
            return fail(
                QString::fromStdString("--" + portOptionName(i).toStdString() + ": " +
                                       rv::MalformedAddressMessage(device.toStdString(), problem)));
        }
        parsed.ports[size_t(i)] = rv::DeviceFromUserText(device.toStdString());
    }
    if (parser.isSet(trace)) {
        parsed.tracePath = parser.value(trace).toStdString();
        if (parsed.tracePath.empty()) return fail(QString::fromUtf8("пустое имя файла в --trace"));
    }
    options = parsed;
    return std::nullopt;
}
