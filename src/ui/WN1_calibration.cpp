#include <QComboBox>
#include <QLineEdit>
#include <functional>
#include <optional>

#include "channel/calibration.h"
#include "channel/sensors.h"
#include "ui/WN1.h"
#include "ui/message_boxes.h"

namespace {

const char* const kMeasuringCaption = "  Измерение ...";

// The calibration sub-range of the type chosen in the selector, after the refusal box when
// the type has none.
std::optional<int> admittedSubRange(TDeskForm& form) {
    const std::optional<int> subRange = rv::CalibrationSubRange(form.MenuTIDA->currentIndex());
    if (!subRange)
        form.boxes().information(
            &form,
            QString::fromUtf8("Этот параметр используется только с термометрами сопротивления."));
    return subRange;
}

bool twoWire(const TDeskForm& form) { return form.MenuSHEMA->currentIndex() == rv::kTwoWireScheme; }

// Runs the measurement with the progress window and the boxes; `store` takes the resistance
// when one was measured, before the window is given back.
void measure(TDeskForm& form, int subRange, const std::function<void(long double)>& store) {
    OperationRunner& runner = form.runner();
    rv::MeasurementObserver observer;
    observer.progress = [&runner](int percent) { runner.showProgress(percent); };
    observer.error = [&form](const std::string& text) {
        form.boxes().error(&form, QString::fromStdString(text));
    };
    observer.warning = [&form](const std::string& text) {
        form.boxes().warning(&form, QString::fromStdString(text));
    };
    runner.run(form, QString::fromUtf8(kMeasuringCaption), true, OperationRunner::Priority::Normal,
               [&] {
                   const rv::MeasurementResult result = rv::MeasureResistance(
                       runner.link(), form.currentChannel(), subRange, observer);
                   switch (result.end) {
                       case rv::MeasurementEnd::Measured: store(result.resistance); break;
                       case rv::MeasurementEnd::Failed: return rv::Outcome::Failed;
                       case rv::MeasurementEnd::Stopped: return rv::Outcome::Cancelled;
                   }
                   return rv::Outcome::Done;
               });
}

}  // namespace

void TDeskForm::BtnR0Click() {
    const std::optional<int> subRange = admittedSubRange(*this);
    if (!subRange) return;
    measure(*this, *subRange, [this](long double r) {
        rv::ChannelConfig& channel = image_.Channels[currentChannel()];
        channel.Rt0 = rv::MeasuredR0(r, twoWire(*this), channel.RLine);
        // The field's own check shows the new value; the stored one stays as measured.
        EdRt0->setText(QString());
    });
}

void TDeskForm::Btn2XClick() {
    const std::optional<int> subRange = admittedSubRange(*this);
    if (!subRange) return;
    if (!twoWire(*this)) {
        boxes_.information(
            this, QString::fromUtf8("Этот параметр используется только для двухпроводной схемы."));
        return;
    }
    measure(*this, *subRange, [this](long double r) {
        image_.Channels[currentChannel()].RLine = rv::MeasuredLineResistance(r);
        EdRLine->setText(QString());
    });
}
