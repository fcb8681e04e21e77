#include <QComboBox>
#include <QLineEdit>
#include <optional>

#include "channel/calibration.h"
#include "channel/sensors.h"
#include "link/status.h"
#include "ui/Info.h"
#include "ui/WN1.h"
#include "ui/message_boxes.h"

namespace {

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

// Runs the measurement with the progress window and the boxes; the resistance when one was
// measured.
std::optional<long double> measure(TDeskForm& form, int subRange) {
    rv::MeasurementObserver observer;
    observer.progress = [&form](int percent) { form.showProgress(percent); };
    observer.error = [&form](const std::string& text) {
        form.boxes().error(&form, QString::fromStdString(text));
    };
    observer.warning = [&form](const std::string& text) {
        form.boxes().warning(&form, QString::fromStdString(text));
    };
    rv::Link& link = form.link();
    const rv::MeasurementResult result =
        rv::MeasureResistance(link, form.currentChannel(), subRange, observer);
    if (result.end == rv::MeasurementEnd::Failed && link.LinkStatus != rv::status::kOk)
        form.boxes().error(&form, QString::fromStdString(rv::StatusText(link.LinkStatus)));
    if (result.end != rv::MeasurementEnd::Measured) return std::nullopt;
    return result.resistance;
}

const char* const kMeasuringCaption = "  Измерение ...";

}  // namespace

void TDeskForm::BtnR0Click() {
    const std::optional<int> subRange = admittedSubRange(*this);
    if (!subRange) return;
    beginOperation(QString::fromUtf8(kMeasuringCaption), true);
    if (const std::optional<long double> r = measure(*this, *subRange)) {
        rv::ChannelConfig& channel = image_.Channels[currentChannel()];
        channel.Rt0 = rv::MeasuredR0(*r, twoWire(*this), channel.RLine);
        // The field's own check shows the new value; the stored one stays as measured.
        EdRt0->setText(QString());
    }
    endOperation();
}

void TDeskForm::Btn2XClick() {
    const std::optional<int> subRange = admittedSubRange(*this);
    if (!subRange) return;
    if (!twoWire(*this)) {
        boxes_.information(
            this, QString::fromUtf8("Этот параметр используется только для двухпроводной схемы."));
        return;
    }
    beginOperation(QString::fromUtf8(kMeasuringCaption), true);
    if (const std::optional<long double> r = measure(*this, *subRange)) {
        image_.Channels[currentChannel()].RLine = rv::MeasuredLineResistance(*r);
        EdRLine->setText(QString());
    }
    endOperation();
}
