#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QtTest>

#include "channel/fields.h"
#include "config/device_float.h"
#include "config/transfer.h"
#include "port_holder.h"
#include "pty_peer.h"
#include "ui/main_menu.h"
#include "ui/window_caption.h"
#include "window_fixture.h"

// The read and the write as the window runs them, against simulated instruments.
class TransferWindowTest : public QObject, private WindowFixture {
    Q_OBJECT

    void checkEndState() {
        QVERIFY(form->isEnabled());
        QVERIFY(!info->isVisible());
        QVERIFY(!child<QProgressBar>(info, "Stepper")->isVisible());
        QVERIFY(child<QPushButton>(info, "BtnCancel")->isEnabled());
        QVERIFY(portFree());
    }

    static rv::WorkingReal floatAt(const std::vector<uint8_t>& copy, int offset) {
        return rv::FromDeviceFloat(copy.data() + offset);
    }

  private slots:
    void init() { createWindow(); }
    void cleanup() { destroyWindow(); }

    void readFillsTheWindow() {
        rv::test::SimProcess sim({"1,model=RV7408,version=3.12"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        control<QTabBar>("TabBar")->setCurrentIndex(2);

        bool windowDisabledDuringRead = false;
        QString caption;
        duringWait = [&] {
            windowDisabledDuringRead |=
                !form->isEnabled() && !form->mainMenu()->isEnabled() && info->isVisible();
            caption = info->windowTitle();
        };
        boxes->answers = {true};
        QTest::mouseClick(control<QPushButton>("BtnLoad"), Qt::LeftButton);

        QCOMPARE(boxes->shown.size(), size_t{1});
        QCOMPARE(boxes->shown[0].kind, ScriptedBoxes::Kind::ConfirmOkCancel);
        QCOMPARE(boxes->shown[0].text, QString::fromUtf8(" Считать данные ?"));
        QVERIFY(windowDisabledDuringRead);
        QCOMPARE(caption, QString::fromUtf8("  Чтение ..."));
        QCOMPARE(child<QProgressBar>(info, "Stepper")->value(), 100);
        checkEndState();

        QVERIFY(form->image().LoadedId != 0);
        QVERIFY(control<QPushButton>("BtnSave")->isEnabled());
        QVERIFY(control<QPushButton>("BtnRELE")->isEnabled());
        QCOMPARE(control<QLabel>("LabelVersion")->text(), QString("3.12"));
        QVERIFY(control<QLabel>("Label6")->isVisibleTo(form));
        QCOMPARE(page().currentChannel(), 2);
        QVERIFY(control<QLineEdit>("EdRt0")->isEnabled());

        // The page shows channel 3 as the instrument holds it.
        const auto main3 = rv::test::ReadBlockCopy(sim.stateFile(1), 5, false);
        const auto points3 = rv::test::ReadBlockCopy(sim.stateFile(1), 13, false);
        QVERIFY(!main3.empty() && !points3.empty());
        QCOMPARE(control<QLineEdit>("EdRt0")->text().toStdString(),
                 rv::FormatRealField(floatAt(main3, 2), 5));
        QCOMPARE(control<QLineEdit>("EdDiap2")->text().toStdString(),
                 rv::FormatRealField(floatAt(main3, 20), 5));
        QCOMPARE(control<QLineEdit>("EdUstav1")->text().toStdString(),
                 rv::FormatRealField(floatAt(points3, 1), 5));
        QCOMPARE(control<QLineEdit>("EdGist2")->text().toStdString(),
                 rv::FormatRealField(floatAt(points3, 13), 3));
        QCOMPARE(control<QLineEdit>("EdFrac")->text().toStdString(),
                 rv::FormatIntegerField(main3[15]));

        // Boxes follow the used channels; the display time follows block 20.
        const auto block2 = rv::test::ReadBlockCopy(sim.stateFile(1), 2, false);
        const auto block20 = rv::test::ReadBlockCopy(sim.stateFile(1), 20, false);
        const int used = block2[49] | block2[50] << 8;
        for (int i = 0; i < 8; ++i) {
            auto* box = control<QCheckBox>(qPrintable(QString("CC%1").arg(i + 1)));
            QVERIFY(box->isEnabled());
            QCOMPARE(box->isChecked(), bool(used & (1 << i)));
        }
        QCOMPARE(control<QSpinBox>("EdPause")->value(),
                 std::clamp(rv::SecondsFromDisplayCode(block20[5]), 1, 70));
    }

    void readOfAnInstrumentWithSixChannels() {
        rv::test::SimProcess sim({"5,model=RV7406"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        settings().NetNumber = 5;
        form->image().UsedChannels = 0;
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QVERIFY(errors().isEmpty());
        QCOMPARE(form->image().ChannelsFitted & 0xFF, 0x3F);
        for (int i : {6, 7}) {
            auto* box = control<QCheckBox>(qPrintable(QString("CC%1").arg(i + 1)));
            QVERIFY(!box->isEnabled());
            QVERIFY(!box->isChecked());
        }
        QCOMPARE(form->image().UsedChannels & ~form->image().ChannelsFitted, 0);
        control<QTabBar>("TabBar")->setCurrentIndex(7);
        QVERIFY(!control<QLineEdit>("EdRt0")->isEnabled());
    }

    void refusedConfirmationDoesNothing() {
        rv::test::SimProcess sim({"1"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        boxes->answers = {false};
        transfer().BtnLoadClick();
        QCOMPARE(boxes->shown.size(), size_t{1});
        QVERIFY(!control<QLabel>("Label6")->isVisibleTo(form));
        QCOMPARE(form->image().LoadedId, 0u);
        QVERIFY(!info->isVisible());
    }

    void cancelledRead() {
        // Answers a few milliseconds apart, as an instrument does, so the read is still on
        // when the window acts.
        rv::test::SimProcess sim(Slowed({"1,model=RV7408"}));
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QVERIFY(form->image().LoadedId != 0);

        // Pressing "Отмена" once block 2 is in: the read stops, silently.
        bool pressed = false;
        duringWait = [&] {
            if (!pressed && info->isVisible() &&
                child<QProgressBar>(info, "Stepper")->value() >= 10) {
                pressed = true;
                QTest::mouseClick(child<QPushButton>(info, "BtnCancel"), Qt::LeftButton);
                QVERIFY(!info->isVisible());
            }
        };
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QVERIFY(pressed);
        QCOMPARE(boxes->shown.size(), size_t{2});
        QVERIFY(errors().isEmpty());
        QCOMPARE(form->image().LoadedId, 0u);
        QVERIFY(!control<QPushButton>("BtnSave")->isEnabled());
        QVERIFY(!control<QPushButton>("BtnRELE")->isEnabled());
        QVERIFY(child<QProgressBar>(info, "Stepper")->value() < 100);
        checkEndState();
    }

    void closingTheWindowStopsTheRead() {
        // Answers a few milliseconds apart, as an instrument does, so the read is still on
        // when the window acts.
        rv::test::SimProcess sim(Slowed({"1,model=RV7408"}));
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        QSignalSpy closed(form, &TDeskForm::closed);
        bool closedDuringRead = false;
        duringWait = [&] {
            if (!closedDuringRead && child<QProgressBar>(info, "Stepper")->value() >= 20) {
                closedDuringRead = true;
                form->close();
            }
        };
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QVERIFY(closedDuringRead);
        // The window closes once the read has stopped.
        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(boxes->shown.size(), size_t{1});
        QCOMPARE(form->image().LoadedId, 0u);
        QVERIFY(!info->isVisible());
        QVERIFY(portFree());
    }

    // Closing the window while "Записать" runs stops the write at a byte boundary and waits
    // for it: the port is closed, and each block the instrument would read (its primary copy
    // when whole, else its backup) is as it was before or as the write makes it.
    void closingTheWindowMidWriteLeavesEveryBlockOldOrNew() {
        rv::test::SimProcess sim(Slowed({"1,model=RV7408"}));
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QVERIFY(form->image().LoadedId != 0);
        const auto held = [&] {
            std::vector<std::vector<uint8_t>> blocks;
            for (int b : rv::kWrittenBlocks) {
                const std::vector<uint8_t> primary =
                    rv::test::ReadBlockCopy(sim.stateFile(1), b, false);
                blocks.push_back(rv::test::BlockCopyValid(primary, b)
                                     ? primary
                                     : rv::test::ReadBlockCopy(sim.stateFile(1), b, true));
            }
            return blocks;
        };
        const auto oldBlocks = held();
        for (rv::ChannelConfig& channel : form->image().Channels) {
            channel.Usred = static_cast<uint16_t>(channel.Usred % 9 + 1);
            channel.Ustav1 = rv::MakeWorkingReal(channel.Ustav1.toDouble() + 1.5L);
            channel.Gist1 = rv::MakeWorkingReal(channel.Gist1.toDouble() + 0.5L);
        }

        QSignalSpy closed(form, &TDeskForm::closed);
        duringWait = [&] {
            if (closed.isEmpty() && child<QProgressBar>(info, "Stepper")->value() >= 40)
                form->close();
        };
        boxes->answers = {true};
        transfer().BtnSaveClick();
        QTRY_COMPARE(closed.count(), 1);
        QVERIFY(portFree());
        QVERIFY(!info->isVisible());
        QVERIFY(errors().isEmpty());
        const auto midBlocks = held();

        duringWait = nullptr;
        boxes->answers = {true};
        transfer().BtnSaveClick();
        QVERIFY(errors().isEmpty());
        const auto newBlocks = held();
        int changed = 0;
        int written = 0;
        for (size_t i = 0; i < midBlocks.size(); ++i) {
            QVERIFY2(midBlocks[i] == oldBlocks[i] || midBlocks[i] == newBlocks[i],
                     qPrintable(QString("block %1").arg(rv::kWrittenBlocks[i])));
            changed += oldBlocks[i] != newBlocks[i];
            written += oldBlocks[i] != newBlocks[i] && midBlocks[i] == newBlocks[i];
        }
        // The close came in the middle: some changed blocks were written, and not all.
        QVERIFY(written > 0);
        QVERIFY(written < changed);
    }

    void failingRead_data() {
        QTest::addColumn<QString>("instrument");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("versionShown");
        QTest::newRow("other family") << "1,family=18"
                                      << ""
                                      << "Прибор RV740x не обнаружен"
                                      << "" << false;
        QTest::newRow("silent") << "1,silent"
                                << ""
                                << "Нет ответа"
                                << "" << false;
        QTest::newRow("not a terminal")
            << "1"
            << "/dev/null"
            << "COM-порт не существует"
            << "Устройство: /dev/null\nПричина: это не последовательный порт" << false;
        QTest::newRow("missing device")
            << "1"
            << "/nonexistent/ttyUSB0"
            << "Нельзя открыть   COM-порт"
            << "Устройство: /nonexistent/ttyUSB0\nПричина: устройство не найдено" << false;
        QTest::newRow("both copies of block 25 bad") << "1,bad-both=25"
                                                     << ""
                                                     << "Ошибка памяти данных"
                                                     << "" << true;
    }
    void failingRead() {
        QFETCH(QString, instrument);
        QFETCH(QString, device);
        QFETCH(QString, message);
        QFETCH(QString, detail);
        QFETCH(bool, versionShown);
        rv::test::SimProcess sim({instrument.toStdString()});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        if (!device.isEmpty()) settings().Device = device.toStdString();
        // A configuration as if read before, with no edits: the read asks only its question.
        form->image().LoadedId = 7;
        form->caption().markClean();

        bool infoUpWhileBox = true;
        boxes->onShow = [&](const ScriptedBoxes::Shown& s) {
            if (s.kind == ScriptedBoxes::Kind::Error) infoUpWhileBox = !s.parentEnabled;
        };
        boxes->answers = {true};
        transfer().BtnLoadClick();

        QCOMPARE(errors(), QStringList{message});
        QCOMPARE(boxes->shown.back().detail, detail);
        QVERIFY2(infoUpWhileBox, "the error box comes while the main window is disabled");
        QCOMPARE(form->image().LoadedId, 0u);
        QVERIFY(!control<QPushButton>("BtnSave")->isEnabled());
        QCOMPARE(control<QLabel>("Label6")->isVisibleTo(form), versionShown);
        checkEndState();
    }

    // A port another program holds: the box names the program below its text.
    void heldPortNamesItsHolder() {
        rv::test::PtyPeer peer;
        const rv::test::PortHolder holder(peer.path());
        QVERIFY(holder.held());
        settings().Device = peer.path();
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QCOMPARE(errors(), QStringList{QString::fromUtf8("Нельзя открыть   COM-порт")});
        QCOMPARE(boxes->shown.back().detail,
                 QString::fromStdString("Устройство: " + peer.path() +
                                        "\nПричина: порт занят другой программой\nПрограмма: "
                                        "flock (PID " +
                                        std::to_string(holder.pid()) + ")"));
        checkEndState();
    }

    void writeAfterAnEditLandsInTheInstrument() {
        rv::test::SimProcess sim({"1,model=RV7408,password=1234"});
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QVERIFY(errors().isEmpty());
        const auto main5Before = rv::test::ReadBlockCopy(sim.stateFile(1), 5, false);
        const auto block20Before = rv::test::ReadBlockCopy(sim.stateFile(1), 20, false);

        control<QTabBar>("TabBar")->setCurrentIndex(2);
        auto* ustav1 = control<QLineEdit>("EdUstav1");
        ustav1->selectAll();
        ustav1->insert("-123.5");
        auto* pause = control<QSpinBox>("EdPause");
        pause->setValue(pause->value() == 70 ? 69 : pause->value() + 1);
        const int seconds = pause->value();
        form->image().Password = 0;

        bool cancelDisabled = true;
        QString caption;
        duringWait = [&] {
            if (info->isVisible()) {
                cancelDisabled &= !child<QPushButton>(info, "BtnCancel")->isEnabled();
                caption = info->windowTitle();
            }
        };
        boxes->answers = {true};
        QTest::mouseClick(control<QPushButton>("BtnSave"), Qt::LeftButton);

        QCOMPARE(boxes->shown.back().text, QString::fromUtf8(" Записать данные ?"));
        QVERIFY(errors().isEmpty());
        QVERIFY(cancelDisabled);
        QCOMPARE(caption, QString::fromUtf8("  Запись ..."));
        QCOMPARE(child<QProgressBar>(info, "Stepper")->value(), 100);
        checkEndState();

        for (bool backup : {false, true}) {
            const auto points3 = rv::test::ReadBlockCopy(sim.stateFile(1), 13, backup);
            QVERIFY(rv::test::BlockCopyValid(points3, 13));
            QCOMPARE(floatAt(points3, 1).toDouble(), -123.5);
            const auto block20 = rv::test::ReadBlockCopy(sim.stateFile(1), 20, backup);
            QVERIFY(rv::test::BlockCopyValid(block20, 20));
            QCOMPARE(int(block20[5]), int(rv::DisplayCodeFromSeconds(seconds)));
            // The password stays as the instrument holds it.
            QCOMPARE(block20[1] | block20[2] << 8, 0x1234);
            QCOMPARE(block20[3], block20Before[3]);
            QCOMPARE(block20[4], block20Before[4]);
        }
        // Channel 3's main settings were shown but not edited, so they went back as read.
        const auto main5 = rv::test::ReadBlockCopy(sim.stateFile(1), 5, false);
        QCOMPARE(main5[35], main5Before[35]);
    }

    // A read, every channel page shown, a write without edits: the instrument's memory is
    // byte for byte what it was, values with more digits than the page shows included.
    // "Время индикации" follows the number shown, also through a read: the code 0 read while
    // the field shows 3 makes it show 1, whose code 4 a write then sends; read again while the
    // field already shows 1, the code stays the 0 read, and a write keeps it.
    void displayCodeFollowsTheNumberShownThroughARead() {
        rv::test::TempDir state;
        rv::test::SimOptions options = Slowed({"1,model=RV7408"});
        options.stateDir = state.path();
        const std::string memory = state.path() + "/1.mem";
        const auto holdCode = [&](uint8_t code) {
            { rv::test::SimProcess factory(options); }
            QVERIFY(rv::test::PatchBlockData(memory, 20, 5, {code}));
        };
        const auto stored = [&] {
            QList<int> codes;
            for (bool backup : {false, true})
                codes << rv::test::ReadBlockCopy(memory, 20, backup).at(5);
            return codes;
        };
        const auto readThenWrite = [&] {
            rv::test::SimProcess sim(options);
            QVERIFY2(sim.started(), sim.error().c_str());
            useLine(sim);
            boxes->answers = {true};
            transfer().BtnLoadClick();
            QVERIFY(form->image().LoadedId != 0);
            QCOMPARE(control<QSpinBox>("EdPause")->value(), 1);
            boxes->answers = {true};
            transfer().BtnSaveClick();
            QVERIFY2(errors().isEmpty(), qPrintable(errors().join("; ")));
        };

        holdCode(0);
        QCOMPARE(control<QSpinBox>("EdPause")->value(), 3);
        readThenWrite();
        QCOMPARE(int(form->image().DisplayPeriodByte), 4);
        QCOMPARE(stored(), QList<int>({4, 4}));

        holdCode(0);
        readThenWrite();
        QCOMPARE(int(form->image().DisplayPeriodByte), 0);
        QCOMPARE(stored(), QList<int>({0, 0}));
    }

    void showingEveryChannelWritesBackTheSameMemory() {
        rv::test::TempDir state;
        rv::test::SimOptions options;
        options.instruments = {"1,model=RV7408"};
        options.stateDir = state.path();
        {
            rv::test::SimProcess factory(options);
            QVERIFY2(factory.started(), factory.error().c_str());
        }
        const std::string memory = state.path() + "/1.mem";
        auto putReal = [&](int block, size_t offset, long double value) {
            const rv::DeviceFloat bytes = rv::ToDeviceFloat(rv::MakeWorkingReal(value));
            return rv::test::PatchBlockData(memory, block, offset, {bytes.begin(), bytes.end()});
        };
        for (int i = 0; i < 8; ++i) {
            // Main settings: R0, line, correction, range, break thresholds.
            QVERIFY(putReal(3 + i, 2, 100.123456L + i));
            QVERIFY(putReal(3 + i, 6, 0.0004L));
            QVERIFY(putReal(3 + i, 10, -0.1234L));
            QVERIFY(putReal(3 + i, 16, 0.0000123L));
            QVERIFY(putReal(3 + i, 20, 12.345678L));
            QVERIFY(putReal(3 + i, 27, -10000.000001L));
            QVERIFY(putReal(3 + i, 31, 1234.567891L));
            // Set points and their hysteresis.
            QVERIFY(putReal(11 + i, 1, 12.345678L));
            QVERIFY(putReal(11 + i, 5, 0.1234L));
            QVERIFY(putReal(11 + i, 9, 99.999999L));
            QVERIFY(putReal(11 + i, 13, 0.0004L));
        }
        // Code 12 shows as 3 s, which the window already shows, so it goes back as read.
        QVERIFY(rv::test::PatchBlockData(memory, 20, 5, {12}));
        const std::vector<uint8_t> before = rv::test::ReadStateFile(memory);
        QVERIFY(!before.empty());

        rv::test::SimProcess sim(options);
        QVERIFY2(sim.started(), sim.error().c_str());
        useLine(sim);
        boxes->answers = {true};
        transfer().BtnLoadClick();
        QVERIFY2(errors().isEmpty(), qPrintable(errors().join("; ")));
        QVERIFY(form->image().LoadedId != 0);
        for (int tab : {1, 2, 3, 4, 5, 6, 7, 0}) {
            control<QTabBar>("TabBar")->setCurrentIndex(tab);
            QCOMPARE(page().currentChannel(), tab);
            QCOMPARE(control<QLineEdit>("EdGist1")->text(), QString("  0.123"));
            QCOMPARE(control<QLineEdit>("EdDiap2")->text(), QString("  12.34568"));
        }
        boxes->answers = {true};
        QTest::mouseClick(control<QPushButton>("BtnSave"), Qt::LeftButton);
        QVERIFY2(errors().isEmpty(), qPrintable(errors().join("; ")));
        checkEndState();

        const std::vector<uint8_t> after = rv::test::ReadStateFile(memory);
        QCOMPARE(after.size(), before.size());
        QStringList changed;
        for (size_t i = 0; i < after.size(); ++i)
            if (after[i] != before[i]) changed << QString::number(i);
        QVERIFY2(changed.isEmpty(), qPrintable("changed offsets: " + changed.join(' ')));
    }
};

QTEST_MAIN(TransferWindowTest)
#include "transfer_window_test.moc"
