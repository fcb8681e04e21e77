#include "ui/command_line.h"

#include <QProcess>
#include <QTextStream>
#include <QtTest>

#include "rv740x_version.h"
#include "ui/qt_texts.h"

// The program's command line: what it prints, its exit codes and the COM devices it names.
class CommandLineTest : public QObject {
    Q_OBJECT

  private slots:
    // As the program does, so the parser's own messages are in Russian.
    void initTestCase() { InstallRussianQtTexts(*QCoreApplication::instance()); }

    void table_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");  // -1: the program goes on
        QTest::addColumn<QString>("out");   // expected within stdout
        QTest::addColumn<QString>("err");   // expected within stderr
        QTest::addColumn<QStringList>("ports");
        const QStringList none{"", "", "", ""};
        QTest::newRow("nothing") << QStringList{} << -1 << ""
                                 << "" << none;
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--com4 <"
                              << "" << none;
        QTest::newRow("short help") << QStringList{"-h"} << 0 << "--version"
                                    << "" << none;
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << "rv740x-config " RV740X_VERSION "\n"
                                 << "" << none;
        QTest::newRow("two ports")
            << QStringList{"--com2", "/dev/ttyUSB0", "--com4=/tmp/line"} << -1 << ""
            << "" << QStringList{"", "/dev/ttyUSB0", "", "/tmp/line"};
        QTest::newRow("Qt's own options pass")
            << QStringList{"-platform", "offscreen", "-reverse", "--com1", "/dev/ttyS4"} << -1 << ""
            << "" << QStringList{"/dev/ttyS4", "", "", ""};
        QTest::newRow("unknown option")
            << QStringList{"--com5", "/dev/x"} << 2 << ""
            << QString::fromUtf8("rv740x-config: Неизвестный параметр «com5»") << none;
        QTest::newRow("missing device")
            << QStringList{"--com1"} << 2 << "" << QString::fromUtf8("«--com1»") << none;
        QTest::newRow("empty device") << QStringList{"--com3", ""} << 2 << ""
                                      << QString::fromUtf8("пустое устройство в --com3") << none;
        QTest::newRow("network addresses")
            << QStringList{"--com3", "rfc2217://10.0.0.5:4001", "--com4=tcp://[::1]:4002"} << -1
            << ""
            << "" << QStringList{"", "", "rfc2217://10.0.0.5:4001", "tcp://[::1]:4002"};
        QTest::newRow("malformed network address")
            << QStringList{"--com3", "rfc2217://10.0.0.5"} << 2 << ""
            << QString::fromUtf8(
                   "rv740x-config: --com3: неверный сетевой адрес «rfc2217://10.0.0.5»: не указан "
                   "порт")
            << none;
        QTest::newRow("stray argument")
            << QStringList{"/dev/ttyUSB0"} << 2 << ""
            << QString::fromUtf8("лишний аргумент \"/dev/ttyUSB0\"") << none;
    }
    void table() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QStringList, ports);
        QString outText;
        QString errText;
        QTextStream outStream(&outText);
        QTextStream errStream(&errText);
        CommandLineOptions options;
        options.ports = {"kept", "kept", "kept", "kept"};
        const std::optional<int> code = ParseCommandLine(QStringList{"rv740x-config"} + arguments,
                                                         options, outStream, errStream);
        QCOMPARE(code.value_or(-1), exitCode);
        QVERIFY2(outText.contains(out), qPrintable(outText));
        QVERIFY2(errText.contains(err), qPrintable(errText));
        QCOMPARE(outText.isEmpty(), out.isEmpty());
        QCOMPARE(errText.isEmpty(), err.isEmpty());
        if (exitCode == 2) QVERIFY(errText.contains("rv740x-config --help"));
        // A command line that ends the program leaves the options alone.
        const QStringList expected = code ? QStringList{"kept", "kept", "kept", "kept"} : ports;
        for (int i = 0; i < 4; ++i)
            QCOMPARE(QString::fromStdString(options.ports[size_t(i)]), expected[i]);
    }

    // The program itself, without a display: the answers come before any window.
    void programWithoutDisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << "rv740x-config " RV740X_VERSION "\n";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--com1";
        QTest::newRow("unknown") << QStringList{"--nonsense"} << 2 << "nonsense";
    }
    void programWithoutDisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("QT_QPA_PLATFORM");
        program.setProcessEnvironment(environment);
        program.start(RV740X_CONFIG_PATH, arguments);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const QString printed =
            QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
        QVERIFY2(printed.contains(output), qPrintable(printed));
    }
};

QTEST_MAIN(CommandLineTest)
#include "command_line_test.moc"
