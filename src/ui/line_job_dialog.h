#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

// The progress window of a job on the line's instruments: what is being done now, the gauge,
// and each instrument's result as it comes. "Отмена" asks the job to stop, between two
// instruments or inside one; "Закрыть" is offered once the job has ended.
class LineJobDialog : public QDialog {
    Q_OBJECT
  public:
    LineJobDialog();

    QLabel* current() const { return current_; }
    QProgressBar* gauge() const { return gauge_; }
    QListWidget* results() const { return results_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* closeButton() const { return close_; }

    // Clears the window for a new job named `title` and shows it.
    void begin(const QString& title);
    void setCurrent(const QString& text);
    void setProgress(int percent);
    void addResult(const QString& text);
    // The job has ended: `summary` under the list, "Отмена" off, "Закрыть" on.
    void end(const QString& summary);
    bool running() const { return running_; }

    // While the job runs, Esc and the window's close button ask it to stop, as "Отмена" does.
    void reject() override;

  signals:
    void cancelRequested();

  private:
    QLabel* current_ = nullptr;
    QProgressBar* gauge_ = nullptr;
    QListWidget* results_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* close_ = nullptr;
    bool running_ = false;
};
