#include <QComboBox>
#include <QLineEdit>
#include <functional>
#include <optional>

#include "channel/calibration.h"
#include "channel/sensors.h"
#include "ui/channel_page.h"
#include "ui/message_boxes.h"
#include "ui/operation_runner.h"
#include "ui/window_image.h"

namespace {

const char* const kMeasuringCaption = "  Измерение ...";

}  // namespace

int ChannelPage::selectedSensorType() const { return MenuTIDA->currentIndex(); }

std::optional<int> ChannelPage::admittedSubRange() {
    const std::optional<int> subRange = rv::CalibrationSubRange(selectedSensorType());
    if (!subRange)
        runner_.boxes().information(window(), QString::fromUtf8(rv::kOnlyResistanceThermometers));
    return subRange;
}

bool ChannelPage::twoWire() const { return MenuSHEMA->currentIndex() == rv::kTwoWireScheme; }

void ChannelPage::measure(int subRange, const std::function<void(long double)>& store) {
    QWidget& owner = *window();
    MessageBoxes& boxes = runner_.boxes();
    const int channel = currentChannel();
    runner_.run(owner, QString::fromUtf8(kMeasuringCaption), true,
                {LineTask::Measurement, false, {}}, [&](LineUse& use) {
                    rv::MeasurementObserver observer;
                    observer.progress = [&use](int percent) { use.progress(percent); };
                    // The measurement's boxes are shown by the window while the worker waits.
                    observer.error = [&](const std::string& text) {
                        use.ask([&] { boxes.error(&owner, QString::fromStdString(text)); });
                    };
                    observer.warning = [&](const std::string& text) {
                        use.ask([&] { boxes.warning(&owner, QString::fromStdString(text)); });
                    };
                    const rv::MeasurementResult result =
                        rv::MeasureResistance(use.link(), channel, subRange, observer);
                    switch (result.end) {
                        case rv::MeasurementEnd::Measured:
                            use.post([&store, r = result.resistance] { store(r); });
                            break;
                        case rv::MeasurementEnd::Failed:
                            return rv::Outcome::Failed;
                        case rv::MeasurementEnd::Stopped:
                            return rv::Outcome::Cancelled;
                    }
                    return rv::Outcome::Done;
                });
}

void ChannelPage::BtnR0Click() {
    const std::optional<int> subRange = admittedSubRange();
    if (!subRange) return;
    measure(*subRange, [this](long double r) { acceptR0(currentChannel(), r); });
}

void ChannelPage::Btn2XClick() {
    const std::optional<int> subRange = admittedSubRange();
    if (!subRange) return;
    if (!twoWire()) {
        runner_.boxes().information(window(), QString::fromUtf8(rv::kOnlyTwoWireScheme));
        return;
    }
    measure(*subRange, [this](long double r) { acceptLineResistance(currentChannel(), r); });
}

void ChannelPage::acceptR0(int channel, long double measured) {
    rv::ChannelConfig& c = image_.data().Channels[static_cast<size_t>(channel)];
    // The scheme chosen on the page, for the channel it shows.
    const bool lineTakenOff =
        channel == currentChannel() ? twoWire() : c.Scheme == rv::kTwoWireScheme;
    c.Rt0 = rv::MeasuredR0(measured, lineTakenOff, c.RLine);
    image_.edited();
    // The field's own check shows the new value; the stored one stays as measured.
    if (channel == currentChannel()) EdRt0->setText(QString());
}

void ChannelPage::acceptLineResistance(int channel, long double measured) {
    image_.data().Channels[static_cast<size_t>(channel)].RLine =
        rv::MeasuredLineResistance(measured);
    image_.edited();
    if (channel == currentChannel()) EdRLine->setText(QString());
}
