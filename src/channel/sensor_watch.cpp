#include "channel/sensor_watch.h"

#include <chrono>
#include <cmath>

#include "channel/calibration.h"
#include "channel/fields.h"
#include "channel/sensors.h"
#include "config/image.h"
#include "devmem/blocks.h"
#include "link/requests.h"
#include "link/session.h"
#include "link/status.h"
#include "link/transact.h"

namespace rv {

namespace {

constexpr int kFirstChannelBlock = 3;  // channel 1's settings
constexpr int kFirstCalibrationBlock = 22;

double now() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

// Statuses of a transaction whose answer came but was spoilt on the way.
bool spoilt(int32_t code) { return code == status::kExchange || code == status::kReplyLength; }

WatchAnswer mark(PointKind kind, std::string note) {
    WatchAnswer a;
    a.point.seconds = now();
    a.point.kind = kind;
    a.note = std::move(note);
    return a;
}

}  // namespace

std::optional<double> WatchSetup::temperatureOf(double measured) const {
    const std::optional<Characteristic> characteristic = CharacteristicOfType(typeCode);
    if (!characteristic) return std::nullopt;
    return TemperatureOf(*characteristic, r0, twoWire ? measured - lineResistance : measured);
}

WatchSetup WatchSetupOf(const ChannelConfig& channel, int channelIndex) {
    WatchSetup setup;
    setup.channelIndex = channelIndex;
    setup.typeCode = channel.SensorType;
    setup.r0 = channel.Rt0.toDouble();
    setup.twoWire = channel.Scheme == kTwoWireScheme;
    setup.lineResistance = channel.RLine.toDouble();
    return setup;
}

Outcome ReadWatchSetup(Link& link, int channelIndex, WatchSetup& setup) {
    if (channelIndex < 0 || channelIndex >= kChannelCount) {
        link.LinkStatus = status::kRequestLimit;
        return Outcome::Failed;
    }
    const Session session(link, Session::Check::Identify);
    if (!session.ready()) return session.outcome();
    const int index = kFirstChannelBlock + channelIndex;
    BlockBuffer block{};
    int progressCount = 0;
    const int code = ReadBlock(link, index, progressCount, block);
    if (const Step step = BlockStep(link, code); step != Step::Ok) return OutcomeOf(step);
    ConfigImage image;
    image.DecodeBlock(index, block);
    setup = WatchSetupOf(image.Channels[static_cast<size_t>(channelIndex)], channelIndex);
    return Outcome::Done;
}

Outcome WatchSensor(Link& link, const WatchSetup& setup,
                    const std::function<void(const WatchAnswer&)>& answer,
                    const std::function<bool()>& goOn) {
    const std::optional<int> subRange = CalibrationSubRange(setup.typeCode);
    if (!subRange || setup.channelIndex < 0 || setup.channelIndex >= kChannelCount) {
        link.LinkStatus = status::kRequestLimit;
        return Outcome::Failed;
    }
    const Session session(link, Session::Check::PortOnly);
    if (!session.ready()) return session.outcome();

    BlockBuffer block{};
    int progressCount = 0;
    const int code =
        ReadBlock(link, kFirstCalibrationBlock + setup.channelIndex, progressCount, block);
    if (const Step step = BlockStep(link, code); step != Step::Ok) return OutcomeOf(step);
    const CalibrationEntryValues entry = CalibrationEntryOf(block, CalibrationEntry(*subRange));
    const double scale = entry.c.toDouble();

    const std::string command =
        request::Measure(MeasuringChannelCode(setup.channelIndex), MeasuringMode(*subRange));
    int lostInRow = 0;
    for (;;) {
        std::string message = command;
        const bool answered = Transact(link, message, link.ReplyTimeout + kMeasurementExtraTimeout,
                                       request::kMeasureErrorFields);
        if (link.CancelFlag.requested()) return Outcome::Cancelled;

        WatchAnswer a;
        if (!answered && !spoilt(link.LinkStatus)) return Outcome::Failed;
        if (answered && ParseReply(link, message, request::kMeasureFields)) {
            WorkingReal first;
            WorkingReal second;
            if (ParseRealField(link.ReplyFields[0], first) == RealText::Valid &&
                ParseRealField(link.ReplyFields[1], second) == RealText::Valid) {
                const double difference = first.toDouble() - second.toDouble();
                a.point.seconds = now();
                a.point.resistance = (difference + entry.a - entry.b) * scale;
                if (const auto t = setup.temperatureOf(a.point.resistance))
                    a.point.temperature = static_cast<float>(*t);
            } else {
                link.LinkStatus = status::kExchange;
            }
        } else if (answered && ParseReply(link, message, request::kMeasureErrorFields)) {
            a = mark(PointKind::InstrumentError, kInstrumentErrorPrefix + link.ReplyFields[0]);
        }
        if (a.point.kind == PointKind::Reading && std::isnan(a.point.resistance)) {
            // Spoilt on the line: noise, a broken frame or a field that is no number.
            if (++lostInRow >= kLostAnswersInRow) return Outcome::Failed;
            a = mark(PointKind::Lost, StatusText(static_cast<uint32_t>(link.LinkStatus)));
        } else {
            lostInRow = 0;
        }
        answer(a);
        if (!goOn()) return Outcome::Done;
    }
}

}  // namespace rv
