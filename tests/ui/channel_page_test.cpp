#include "ui/channel_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QtTest>
#include <memory>

#include "channel/fields.h"
#include "scripted_boxes.h"
#include "ui/WN1.h"
#include "ui/line_owner.h"

// How a test puts text into a field.
enum class Entry {
    Paste,   // replace the whole text at once
    Type,    // select all, then type key by key
    TypeAt,  // type key by key at a caret position, keeping the text
};
Q_DECLARE_METATYPE(Entry)

class ChannelPageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedBoxes> boxes;
    std::unique_ptr<LineOwner> line;
    std::unique_ptr<TDeskForm> form;

    template <typename T>
    T* control(const char* name) const {
        T* found = form->findChild<T*>(name);
        if (!found) qFatal("no control %s", name);
        return found;
    }
    ChannelPage& page() const { return *control<ChannelPage>("TabCtrl"); }

    QLineEdit* field(const QString& name) {
        auto* found = form->findChild<QLineEdit*>(name);
        if (!found) qFatal("no field %s", qPrintable(name));
        return found;
    }
    double stored(const QString& name) {
        const rv::ChannelConfig& c = form->image().Channels[page().currentChannel()];
        const std::map<QString, const rv::WorkingReal*> members = {
            {"EdRt0", &c.Rt0},           {"EdRLine", &c.RLine},        {"EdDelta", &c.Delta},
            {"EdDiap1", &c.Diap1},       {"EdDiap2", &c.Diap2},        {"EdUstav1", &c.Ustav1},
            {"EdUstav2", &c.Ustav2},     {"EdGist1", &c.Gist1},        {"EdGist2", &c.Gist2},
            {"EdAlarmLow", &c.AlarmLow}, {"EdAlarmHigh", &c.AlarmHigh}};
        return members.at(name)->toDouble();
    }
    static double working(long double v) { return rv::MakeWorkingReal(v).toDouble(); }

    void enter(QLineEdit* edit, Entry how, const QString& text, int caret) {
        edit->setFocus();
        switch (how) {
            case Entry::Paste:
                edit->selectAll();
                edit->insert(text);
                break;
            case Entry::Type:
                edit->selectAll();
                QTest::keyClicks(edit, text);
                break;
            case Entry::TypeAt:
                edit->setCursorPosition(caret);
                QTest::keyClicks(edit, text);
                break;
        }
    }

  private slots:
    void init() {
        boxes = std::make_unique<ScriptedBoxes>();
        line = std::make_unique<LineOwner>(*boxes);
        form = std::make_unique<TDeskForm>(*line, *boxes);
        form->image().ChannelsFitted = 0xFF;
        page().TabCtrlChange();
        form->show();
    }
    void cleanup() {
        form.reset();
        line.reset();
        boxes.reset();
    }

    void realField_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Entry>("how");
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<double>("value");

        QTest::newRow("empty reverts, 5 decimals")
            << "EdRt0" << Entry::Paste << "" << 0 << "  100.00000" << 100.0;
        QTest::newRow("empty reverts, 3 decimals")
            << "EdGist1" << Entry::Paste << "" << 0 << "  0.100" << working(0.1L);
        QTest::newRow("minus between blanks and digits")
            << "EdUstav1" << Entry::TypeAt << "-" << 2 << "  -25.00000" << -25.0;
        QTest::newRow("minus before the blanks reverts")
            << "EdUstav1" << Entry::TypeAt << "-" << 0 << "  25.00000" << 25.0;
        QTest::newRow("trailing point") << "EdDiap2" << Entry::Type << "12." << 0 << "12." << 12.0;
        QTest::newRow("leading point") << "EdDiap2" << Entry::Type << ".5" << 0 << ".5" << 0.5;
        QTest::newRow("exponent at the end reverts")
            << "EdDelta" << Entry::Type << "1e" << 0 << "  1.00000" << 1.0;
        QTest::newRow("exponent pasted whole")
            << "EdDelta" << Entry::Paste << "2.5E+2" << 0 << "2.5E+2" << 250.0;
        // A decimal comma, as Russian users type it, reads as the point.
        QTest::newRow("set point typed with a comma")
            << "EdUstav1" << Entry::Type << "27,5" << 0 << "27,5" << 27.5;
        QTest::newRow("hysteresis typed with a comma")
            << "EdGist1" << Entry::Type << "0,7" << 0 << "0,7" << working(0.7L);
        QTest::newRow("comma pasted") << "EdDiap1" << Entry::Paste << "1,5" << 0 << "1,5" << 1.5;
        QTest::newRow("lone comma stores zero")
            << "EdDiap1" << Entry::Paste << "," << 0 << "," << 0.0;
        QTest::newRow("two decimal marks revert")
            << "EdDiap1" << Entry::Paste << "1,5.2" << 0 << "  0.00000" << 0.0;
        QTest::newRow("lone minus reverts")
            << "EdAlarmHigh" << Entry::Paste << "-" << 0 << "  10000.00000" << 10000.0;
        QTest::newRow("lone point stores zero")
            << "EdAlarmHigh" << Entry::Paste << "." << 0 << "." << 0.0;
        QTest::newRow("trailing blank reverts")
            << "EdRLine" << Entry::Paste << "5 " << 0 << "  0.00000" << 0.0;
        QTest::newRow("control characters revert")
            << "EdRLine" << Entry::Paste << QString("\t7\x01") << 0 << "  0.00000" << 0.0;
        QTest::newRow("10000 letters revert")
            << "EdUstav2" << Entry::Paste << QString(10000, 'x') << 0 << "  50.00000" << 50.0;
        QTest::newRow("10000 zeros store zero")
            << "EdUstav2" << Entry::Paste << QString(10000, '0') << 0 << QString(10000, '0') << 0.0;
        QTest::newRow("below the smallest stores zero")
            << "EdGist2" << Entry::Paste << "1e-45" << 0 << "1e-45" << 0.0;
        QTest::newRow("any number, no range check")
            << "EdGist2" << Entry::Paste << "-3" << 0 << "-3" << -3.0;
        // A minus typed alone is invalid and reverts; the digit then joins the shown text.
        QTest::newRow("minus typed first")
            << "EdGist2" << Entry::Type << "-3" << 0 << "  0.1003" << working(0.1003L);
        QTest::newRow("many digits stay as typed")
            << "EdUstav1" << Entry::Type << "12.345678" << 0 << "12.345678" << working(12.345678L);
    }
    void realField() {
        QFETCH(QString, name);
        QFETCH(Entry, how);
        QFETCH(QString, input);
        QFETCH(int, caret);
        QFETCH(QString, shown);
        QFETCH(double, value);
        QLineEdit* edit = field(name);
        enter(edit, how, input, caret);
        QCOMPARE(edit->text(), shown);
        QCOMPARE(stored(name), value);
        QVERIFY(boxes->shown.empty());
    }

    void exponentInsertedBetweenDigits() {
        QLineEdit* edit = field("EdUstav1");
        enter(edit, Entry::Type, "13", 0);
        QCOMPARE(stored("EdUstav1"), 13.0);
        enter(edit, Entry::TypeAt, "e", 1);
        QCOMPARE(edit->text(), QString("1e3"));
        QCOMPARE(stored("EdUstav1"), 1000.0);
    }

    void overflow_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("input");
        QTest::newRow("1e999") << "EdRt0"
                               << "1e999";
        QTest::newRow("beyond the largest") << "EdGist1"
                                            << "-2e38";
        QTest::newRow("10000 nines") << "EdAlarmLow" << QString(10000, '9');
    }
    void overflow() {
        QFETCH(QString, name);
        QFETCH(QString, input);
        QLineEdit* edit = field(name);
        const double before = stored(name);
        enter(edit, Entry::Paste, input, 0);
        QCOMPARE(boxes->shown.size(), size_t{1});
        QCOMPARE(boxes->shown[0].kind, ScriptedBoxes::Kind::Overflow);
        QVERIFY(!boxes->shown[0].text.isEmpty());
        QCOMPARE(edit->text(), input);
        QCOMPARE(stored(name), before);
    }

    // Showing a channel rounds the texts only: the record keeps the exact values, also after
    // a field reverts from a text that is no number.
    void shownChannelKeepsItsExactValues_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("hysteresis 0.1234") << "EdGist1" << 0.1234 << "  0.123";
        QTest::newRow("hysteresis 0.0004") << "EdGist2" << 0.0004 << "  0.000";
        QTest::newRow("hysteresis 0.0625") << "EdGist2" << 0.0625 << "  0.063";
        QTest::newRow("range 12.345678") << "EdDiap2" << 12.345678 << "  12.34568";
        QTest::newRow("set point -0.000004") << "EdUstav1" << -0.000004 << "  0.00000";
        QTest::newRow("sensor 100.123456") << "EdRt0" << 100.123456 << "  100.12346";
    }
    void shownChannelKeepsItsExactValues() {
        QFETCH(QString, name);
        QFETCH(double, value);
        QFETCH(QString, shown);
        const std::map<QString, rv::WorkingReal rv::ChannelConfig::*> members = {
            {"EdGist1", &rv::ChannelConfig::Gist1},
            {"EdGist2", &rv::ChannelConfig::Gist2},
            {"EdDiap2", &rv::ChannelConfig::Diap2},
            {"EdUstav1", &rv::ChannelConfig::Ustav1},
            {"EdRt0", &rv::ChannelConfig::Rt0}};
        const rv::WorkingReal exact = rv::MakeWorkingReal(value);
        form->image().Channels[2].*members.at(name) = exact;
        control<QTabBar>("TabBar")->setCurrentIndex(2);
        QCOMPARE(field(name)->text(), shown);
        QVERIFY(form->image().Channels[2].*members.at(name) == exact);
        // A typed text that is no number puts the shown text back, and still stores nothing.
        enter(field(name), Entry::Paste, "1;5", 0);
        QCOMPARE(field(name)->text(), shown);
        QVERIFY(form->image().Channels[2].*members.at(name) == exact);
        // Showing it again keeps it too.
        control<QTabBar>("TabBar")->setCurrentIndex(0);
        control<QTabBar>("TabBar")->setCurrentIndex(2);
        QVERIFY(form->image().Channels[2].*members.at(name) == exact);
        // Channels not shown keep what they hold.
        QCOMPARE(form->image().Channels[4].Gist1, rv::ChannelConfig::StartupValues().Gist1);
    }

    void decimalsField_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("frac");
        QTest::newRow("7 keeps the value") << "7"
                                           << "  1" << 1;
        QTest::newRow("2 is stored") << "2"
                                     << "  2" << 2;
        QTest::newRow("0 is stored") << "0"
                                     << "  0" << 0;
        QTest::newRow("3 is stored") << "3"
                                     << "  3" << 3;
        QTest::newRow("letter keeps the value") << "x"
                                                << "  1" << 1;
        QTest::newRow("digits one after the other") << "23"
                                                    << "  3" << 3;
        QTest::newRow("minus keeps the value") << "-"
                                               << "  1" << 1;
    }
    void decimalsField() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, frac);
        QLineEdit* edit = field("EdFrac");
        enter(edit, Entry::Type, typed, 0);
        QCOMPARE(edit->text(), shown);
        QCOMPARE(edit->selectedText(), shown);
        QCOMPARE(int(form->image().Channels[0].Frac), frac);
    }

    void averagingField_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("usred");
        QTest::newRow("9999") << "9999"
                              << "9999" << 9999;
        QTest::newRow("10000 reverts") << "10000"
                                       << "  1" << 1;
        QTest::newRow("0") << "0"
                           << "0" << 0;
        QTest::newRow("negative reverts") << "-1"
                                          << "  1" << 1;
        QTest::newRow("blanks and sign") << " +12"
                                         << " +12" << 12;
        QTest::newRow("point reverts") << "1.0"
                                       << "  1" << 1;
        QTest::newRow("empty reverts") << ""
                                       << "  1" << 1;
        // Beyond 64 bits: none may wrap into the range (the first two would read as 5 and 1).
        QTest::newRow("20 digits revert") << "18446744073709551621"
                                          << "  1" << 1;
        QTest::newRow("2^64 + 1 reverts") << "18446744073709551617"
                                          << "  1" << 1;
        QTest::newRow("2 * 10^19 reverts") << "20000000000000000000"
                                           << "  1" << 1;
    }
    void averagingField() {
        QFETCH(QString, input);
        QFETCH(QString, shown);
        QFETCH(int, usred);
        QLineEdit* edit = field("EdUsred");
        enter(edit, Entry::Paste, input, 0);
        QCOMPARE(edit->text(), shown);
        QCOMPARE(int(form->image().Channels[0].Usred), usred);
    }

    void typeAndSchemeOnUserPickOnly() {
        form->image().Channels[1].SensorType = 12;
        form->image().Channels[1].Scheme = 1;
        auto* tida = form->findChild<QComboBox*>("MenuTIDA");
        auto* shema = form->findChild<QComboBox*>("MenuSHEMA");
        control<QTabBar>("TabBar")->setCurrentIndex(1);
        QCOMPARE(tida->currentIndex(), 12);
        QCOMPARE(tida->currentText(), QString::fromUtf8("  Ток     0...+5 мА"));
        QCOMPARE(shema->currentText(), QString::fromUtf8("  2-х  проводная"));
        // Showing channel 2 changed nothing in channel 1.
        QCOMPARE(int(form->image().Channels[0].SensorType), 6);

        tida->setFocus();
        QTest::keyClick(tida, Qt::Key_Down);
        QCOMPARE(int(form->image().Channels[1].SensorType), 13);
        QTest::keyClick(shema, Qt::Key_Up);
        QCOMPARE(int(form->image().Channels[1].Scheme), 0);
        QCOMPARE(tida->count(), 18);
        QCOMPARE(tida->maxVisibleItems(), 19);
    }

    void squareRootKeepsTheOtherFlags() {
        form->image().Channels[0].Flags = 0x81;
        page().TabCtrlChange();
        auto* box = form->findChild<QCheckBox*>("BitSQRT");
        QVERIFY(box->isChecked());
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(int(form->image().Channels[0].Flags), 0x80);
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(int(form->image().Channels[0].Flags), 0x81);
    }

    void channelMissingFromTheInstrument() {
        form->image().ChannelsFitted = 0x3F;
        form->image().LoadedId = 0x123456;
        form->image().Channels[6].Ustav2 = rv::MakeWorkingReal(-7.5L);
        form->findChild<QCheckBox*>("CC7")->setChecked(true);
        control<QTabBar>("TabBar")->setCurrentIndex(6);
        QCOMPARE(field("EdUstav2")->text(), QString("  -7.50000"));
        for (const char* name :
             {"MenuTIDA", "MenuSHEMA", "EdFrac", "EdRt0", "EdRLine", "EdDelta", "EdGist1",
              "EdGist2", "EdUsred", "EdDiap1", "EdDiap2", "EdUstav1", "EdUstav2", "EdAlarmLow",
              "EdAlarmHigh", "Btn2X", "BtnR0", "BitSQRT"}) {
            QVERIFY2(!form->findChild<QWidget*>(name)->isEnabled(), name);
        }
        QVERIFY(form->findChild<QWidget*>("TabCtrl")->isEnabled());
        QVERIFY(form->findChild<QPushButton*>("BtnSave")->isEnabled());
        QVERIFY(form->findChild<QPushButton*>("BtnRELE")->isEnabled());
        auto* box7 = form->findChild<QCheckBox*>("CC7");
        QVERIFY(!box7->isEnabled());
        QVERIFY(!box7->isChecked());
        QCOMPARE(form->image().UsedChannels & 0xC0, 0);
        QVERIFY(form->findChild<QCheckBox*>("CC6")->isEnabled());

        control<QTabBar>("TabBar")->setCurrentIndex(5);
        QVERIFY(field("EdUstav2")->isEnabled());
    }

    void editsSurviveSwitchingTabs() {
        enter(field("EdAlarmHigh"), Entry::Type, "321.5", 0);
        control<QTabBar>("TabBar")->setCurrentIndex(3);
        QCOMPARE(field("EdAlarmHigh")->text(), QString("  10000.00000"));
        control<QTabBar>("TabBar")->setCurrentIndex(0);
        QCOMPARE(field("EdAlarmHigh")->text(), QString("  321.50000"));
        QCOMPARE(form->image().Channels[0].AlarmHigh, rv::MakeWorkingReal(321.5L));
    }
};

QTEST_MAIN(ChannelPageTest)
#include "channel_page_test.moc"
