// The window's command line: --trace beside the port options.

#include <QCoreApplication>
#include <QString>
#include <QTextStream>
#include <QtTest>

#include "ui/command_line.h"

class TraceOptionTest : public QObject {
    Q_OBJECT

  private slots:
    void traceOption_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");  // -1: the program goes on
        QTest::addColumn<QString>("tracePath");
        QTest::newRow("none") << QStringList{"rv740x-config"} << -1 << QString();
        QTest::newRow("file") << QStringList{"rv740x-config", "--trace", "/tmp/line.trace"} << -1
                              << QString("/tmp/line.trace");
        QTest::newRow("stderr") << QStringList{"rv740x-config", "--trace=-"} << -1 << QString("-");
        QTest::newRow("with a port")
            << QStringList{"rv740x-config", "--com2", "/dev/ttyUSB0", "--trace", "t"} << -1
            << QString("t");
        QTest::newRow("no value") << QStringList{"rv740x-config", "--trace"} << 2 << QString();
        QTest::newRow("empty") << QStringList{"rv740x-config", "--trace", ""} << 2 << QString();
    }

    void traceOption() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, tracePath);
        CommandLineOptions options;
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        const std::optional<int> code = ParseCommandLine(arguments, options, out, err);
        QCOMPARE(code.value_or(-1), exitCode);
        QCOMPARE(QString::fromStdString(options.tracePath), tracePath);
        if (exitCode == 2) QVERIFY2(errText.contains("trace"), qPrintable(errText));
    }

    void helpNamesTheTraceOption() {
        CommandLineOptions options;
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        QCOMPARE(ParseCommandLine({"rv740x-config", "--help"}, options, out, err).value_or(-1), 0);
        QVERIFY2(outText.contains("--trace"), qPrintable(outText));
    }
};

QTEST_MAIN(TraceOptionTest)
#include "trace_option_test.moc"
