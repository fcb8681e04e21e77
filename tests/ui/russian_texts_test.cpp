#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "ui/message_boxes.h"
#include "ui/qt_texts.h"

namespace {

QString utf8(const char* text) { return QString::fromUtf8(text); }

// An action's text as the menu shows it: no accelerator marks, no shortcut column.
QString shownText(const QAction* action) {
    QString text = action->text();
    text.remove('&');
    return text.section('\t', 0, 0);
}

}  // namespace

// Russian where Qt supplies the words: the message boxes' buttons and a line edit's menu.
class RussianTextsTest : public QObject {
    Q_OBJECT

    ModalMessageBoxes boxes;

    // Runs `ask` while a timer looks at the modal box it brings up, notes its buttons' texts
    // and presses the button captioned `press`.
    QStringList buttonsOf(const std::function<void()>& ask, const QString& press) {
        QStringList seen;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            poll.stop();
            QAbstractButton* chosen = nullptr;
            for (QAbstractButton* button : box->buttons()) {
                seen << button->text();
                if (button->text() == press) chosen = button;
            }
            if (chosen)
                chosen->click();
            else
                box->done(QMessageBox::NoButton);
        });
        poll.start();
        ask();
        std::sort(seen.begin(), seen.end());
        return seen;
    }

  private slots:
    // Before any translation is installed: the captions are the program's own.
    void boxButtons_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("press");
        QTest::addColumn<bool>("answer");
        const QString ok = utf8("ОК"), cancel = utf8("Отмена"), yes = utf8("Да"), no = utf8("Нет");
        QTest::newRow("OK/Cancel, OK") << 0 << QStringList{ok, cancel} << ok << true;
        QTest::newRow("OK/Cancel, Cancel") << 0 << QStringList{ok, cancel} << cancel << false;
        QTest::newRow("Yes/No, Yes") << 1 << QStringList{yes, no} << yes << true;
        QTest::newRow("Yes/No, No") << 1 << QStringList{yes, no} << no << false;
        QTest::newRow("error") << 2 << QStringList{cancel} << cancel << false;
        QTest::newRow("information") << 3 << QStringList{cancel} << cancel << false;
        QTest::newRow("warning") << 4 << QStringList{ok} << ok << false;
        QTest::newRow("overflow") << 5 << QStringList{ok} << ok << false;
    }
    void boxButtons() {
        QFETCH(int, kind);
        QFETCH(QStringList, buttons);
        QFETCH(QString, press);
        QFETCH(bool, answer);
        bool answered = false;
        const QString text = utf8(" Считать данные ?");
        const std::function<void()> asks[] = {
            [&] { answered = boxes.confirmOkCancel(nullptr, text); },
            [&] { answered = boxes.confirmYesNo(nullptr, text); },
            [&] { boxes.error(nullptr, text); },
            [&] { boxes.information(nullptr, text); },
            [&] { boxes.warning(nullptr, text); },
            [&] { boxes.overflow(nullptr, text); },
        };
        std::sort(buttons.begin(), buttons.end());
        QCOMPARE(buttonsOf(asks[kind], press), buttons);
        QCOMPARE(answered, answer);
    }

    // With Qt's Russian translation installed, a line edit's own menu speaks Russian.
    void lineEditMenuInRussian() {
        const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (!QFile::exists(dir + "/qtbase_ru.qm")) QSKIP("qt6-translations-l10n is not installed");
        QVERIFY(InstallRussianQtTexts(*qApp));
        QLineEdit edit("12.5");
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (const QAction* action : menu->actions())
            if (!action->isSeparator()) texts << shownText(action);
        QCOMPARE(texts, (QStringList{utf8("Отменить действие"), utf8("Повторить действие"),
                                     utf8("Вырезать"), utf8("Копировать"), utf8("Вставить"),
                                     utf8("Удалить"), utf8("Выделить всё")}));
        // The boxes keep the program's captions with the translation in place.
        QCOMPARE(buttonsOf([&] { boxes.warning(nullptr, "x"); }, utf8("ОК")),
                 QStringList{utf8("ОК")});
    }
};

QTEST_MAIN(RussianTextsTest)
#include "russian_texts_test.moc"
