#pragma once

#include <QDialog>
#include <array>

#include "config/relay_table.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;
class WindowImage;

// The relay assignment dialog.
class TFormRELE : public QDialog {
    Q_OBJECT
  public:
    explicit TFormRELE(WindowImage& image, QWidget* parent = nullptr);

    static constexpr int kRelays = rv::kRelayCount;
    static constexpr int kEventsPerRelay = rv::kRelayEvents;
    static constexpr int kCells = kRelays * kEventsPerRelay;

    void FormCreate();
    void FormShow();
    void FormDeactivate();
    void BtnERClick();
    void N1Click();
    void N2Click();
    void N3Click();
    void N4Click();
    void E1Click();
    void E2Click();
    void E3Click();
    void Pack();
    void UnPack();

    // Opens the cell's pop-up menu at `globalPos`, as the context-menu gesture does.
    void popupCellMenu(int index, const QPoint& globalPos);
    // The cell the last pop-up menu was opened on, or -1.
    int popupCell() const { return popupCell_; }
    // The code the cell at `index` shows.
    int cellCode(int index) const;

    // Esc and the window manager's close request leave the dialog up, so the edits cannot
    // be dropped without reaching RelayTable; "Ok" packs them.
    void reject() override {}

  signals:
    // The dialog went away, by "Ok" or by another window of the program taking over.
    void hidden();

  protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

  private:
    QScrollArea* Scroll = nullptr;
    QPushButton* BtnER = nullptr;
    QMenu* PopUstav = nullptr;
    QMenu* PopError = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N4 = nullptr;
    QAction* E1 = nullptr;
    QAction* E2 = nullptr;
    QAction* E3 = nullptr;
    std::array<QLabel*, kRelays> RelayLabel{};
    // Cell of relay r, channel c, event e at 24r + 3c + e.
    std::array<QLabel*, kCells> RelayCell{};

    void setCell(int index, int code);
    void chooseCode(int code);

    WindowImage& image_;
    std::array<int, kCells> cellCodes_{};
    int popupCell_ = -1;
};
