#include "channel/calibration.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

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

constexpr int kFirstCalibrationBlock = 22;

// trunc(S / n + 0.4) for S >= 0, trunc(S / n - 0.4) below zero.
long double roundedMean(long double sum, int n) {
    const bool negative = sum < 0;
    const long double magnitude = negative ? -sum : sum;
    long double whole = std::trunc(magnitude / n);
    // The quotient itself may have rounded across a whole number.
    if (whole * n > magnitude) whole -= 1;
    if ((whole + 1) * n <= magnitude) whole += 1;
    if ((magnitude - whole * n) * 5 >= 3.0L * n) whole += 1;
    return negative ? -whole : whole;
}

long double sumOf(const std::vector<long double>& values) {
    long double sum = 0;
    for (long double v : values) sum += v;
    return sum;
}

long double spreadOf(const std::vector<long double>& values) {
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    return *highest - *lowest;
}

int16_t signed16(const BlockBuffer& block, size_t at) {
    return static_cast<int16_t>(static_cast<uint16_t>(block[at] | (block[at + 1] << 8)));
}

void show(const std::function<void(const std::string&)>& box, const std::string& text) {
    if (box) box(text);
}

}  // namespace

FilteredValue FilteredMean(std::vector<long double> values, int reject) {
    if (values.empty()) return {};
    const int n = static_cast<int>(values.size());
    if (spreadOf(values) <= kFilterSpreadLimit) return {roundedMean(sumOf(values), n), true};

    for (int r = 0; r < reject && values.size() > 1; ++r) {
        const long double sum = sumOf(values);
        const long double m = static_cast<long double>(values.size());
        size_t farthest = 0;
        long double farthestDistance = std::fabs(sum - m * values[0]);
        for (size_t j = 1; j < values.size(); ++j) {
            const long double distance = std::fabs(sum - m * values[j]);
            if (distance > farthestDistance) {
                farthest = j;
                farthestDistance = distance;
            }
        }
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(farthest));
    }
    const int left = static_cast<int>(values.size());
    return {roundedMean(sumOf(values), left), spreadOf(values) <= kNoiseSpreadLimit};
}

CalibrationEntryValues CalibrationEntryOf(const BlockBuffer& block, int entry) {
    const size_t at = 5 + 8 * static_cast<size_t>(entry);
    return {signed16(block, at), signed16(block, at + 2), FromDeviceFloat(&block[at + 4])};
}

bool DataRead(Link& link, unsigned channelCode, unsigned mode, const MeasurementObserver& observer,
              long double& difference) {
    std::vector<long double> first;
    std::vector<long double> second;
    const std::string command = request::Measure(channelCode, mode);
    for (int i = 0; i < kCalibrationReadings; ++i) {
        std::string message = command;
        // An error answer carries one field, fewer than a measurement.
        const bool answered = Transact(link, message, link.ReplyTimeout + kMeasurementExtraTimeout,
                                       request::kMeasureErrorFields);
        if (link.CancelFlag.requested()) return false;
        if (!answered) {
            if (link.LinkStatus != status::kOk) show(observer.error, StatusText(link.LinkStatus));
            return false;
        }
        if (ParseReply(link, message, request::kMeasureFields)) {
            WorkingReal a;
            WorkingReal b;
            // A field that is no number makes the answer unusable, like any broken answer.
            if (ParseRealField(link.ReplyFields[0], a) != RealText::Valid ||
                ParseRealField(link.ReplyFields[1], b) != RealText::Valid) {
                link.LinkStatus = status::kExchange;
                show(observer.error, StatusText(link.LinkStatus));
                return false;
            }
            first.push_back(a.toDouble());
            second.push_back(b.toDouble());
        } else if (ParseReply(link, message, request::kMeasureErrorFields)) {
            show(observer.error, kInstrumentErrorPrefix + link.ReplyFields[0]);
            return false;
        } else {
            show(observer.error, StatusText(link.LinkStatus));
            return false;
        }
        if (observer.progress) observer.progress((i + 1) * 100 / kCalibrationReadings);
    }
    const FilteredValue m1 = FilteredMean(first, kCalibrationRejected);
    const FilteredValue m2 = FilteredMean(second, kCalibrationRejected);
    if (!m1.quiet || !m2.quiet) show(observer.warning, kNoiseWarning);
    difference = m1.mean - m2.mean;
    return true;
}

MeasurementResult MeasureResistance(Link& link, int channelIndex, int subRange,
                                    const MeasurementObserver& observer) {
    if (channelIndex < 0 || channelIndex >= kChannelCount || subRange < 0 || subRange > 1) {
        link.LinkStatus = status::kRequestLimit;
        return {MeasurementEnd::Failed};
    }
    const Session session(link, Session::Check::PortOnly);
    if (!session.ready()) return {MeasurementEnd::Failed};

    BlockBuffer block{};
    int progressCount = 0;
    const int code = ReadBlock(link, kFirstCalibrationBlock + channelIndex, progressCount, block);
    if (link.CancelFlag.requested()) return {MeasurementEnd::Stopped};
    if (code != status::kOk) return {MeasurementEnd::Failed};
    const CalibrationEntryValues entry = CalibrationEntryOf(block, CalibrationEntry(subRange));

    long double difference = 0;
    if (!DataRead(link, MeasuringChannelCode(channelIndex), MeasuringMode(subRange), observer,
                  difference))
        return {MeasurementEnd::Stopped};
    const long double resistance = (difference + entry.a - entry.b) * entry.c.toDouble();
    return {MeasurementEnd::Measured, resistance};
}

WorkingReal MeasuredLineResistance(long double measured) { return MakeWorkingReal(measured); }

WorkingReal MeasuredR0(long double measured, bool twoWire, const WorkingReal& lineResistance) {
    const WorkingReal r = MakeWorkingReal(measured);
    if (!twoWire) return r;
    return MakeWorkingReal(static_cast<long double>(r.toDouble()) - lineResistance.toDouble());
}

}  // namespace rv
