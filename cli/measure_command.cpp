#include <chrono>
#include <cstdio>
#include <string>

#include "channel/calibration.h"
#include "channel/fixed_text.h"
#include "channel/sensor_series.h"
#include "channel/sensor_statistics.h"
#include "channel/sensor_watch.h"
#include "channel/sensors.h"
#include "commands.h"
#include "configfile/sensor_csv.h"
#include "exit_codes.h"
#include "interrupt.h"

namespace rv::cli {

namespace {

void printPoint(const WatchAnswer& a) {
    const SensorPoint& p = a.point;
    const std::string time = IsoTime(p.seconds);
    if (p.kind != PointKind::Reading) {
        std::printf("%s\t%s\n", time.c_str(), a.note.c_str());
    } else if (p.hasTemperature()) {
        std::printf("%s\t%s Ом\t%s °C\n", time.c_str(), FixedText(p.resistance, 4).c_str(),
                    FixedText(p.temperature, 3).c_str());
    } else {
        std::printf("%s\t%s Ом\n", time.c_str(), FixedText(p.resistance, 4).c_str());
    }
    std::fflush(stdout);
}

void printSummary(const SensorSeries& series) {
    const SpanStatistics s = StatisticsOf(series, 0, series.size());
    std::printf("Итого: точек %zu, отметок %zu\n", s.count, s.marks);
    if (s.count == 0) return;
    const auto line = [](const char* name, const QuantityStatistics& q, int decimals,
                         const char* unit) {
        std::printf("%s: среднее %s %s, СКО %s %s, мин %s %s, макс %s %s, дрейф %s %s/мин\n", name,
                    FixedText(q.mean, decimals).c_str(), unit,
                    FixedText(q.deviation, decimals).c_str(), unit,
                    FixedText(q.minimum, decimals).c_str(), unit,
                    FixedText(q.maximum, decimals).c_str(), unit,
                    FixedText(q.driftPerMinute, decimals, true).c_str(), unit);
    };
    line("R", s.resistance, 4, "Ом");
    if (s.temperature) line("T", *s.temperature, 3, "°C");
}

}  // namespace

int RunMeasure(const LineOptions& options, unsigned net, const MeasureOptions& measure) {
    OpenedLine opened;
    if (const int code = SetUpLine(options, opened); code != kExitDone) return code;
    Link& link = opened.link();
    link.NetNumber = net;
    const int channelIndex = static_cast<int>(measure.channel) - 1;

    WatchSetup setup;
    const Outcome read = ReadWatchSetup(link, channelIndex, setup);
    if (read == Outcome::Cancelled) {
        std::fprintf(stderr, "Остановлено\n");
        return kExitInterrupted;
    }
    if (read == Outcome::Failed) {
        PrintLineFailure(link.LinkStatus, opened);
        return kExitFailure;
    }
    if (!CalibrationSubRange(setup.typeCode)) {
        std::fprintf(stderr, "Канал %u:%s\n%s\n", measure.channel,
                     setup.typeCode < kSensorTypeCount ? kSensorTypes[setup.typeCode].text : "",
                     kOnlyResistanceThermometers);
        return kExitFailure;
    }
    std::fprintf(
        stderr, "Прибор %u, канал %u:%s, R0 = %.4f Ом%s\n", net, measure.channel,
        kSensorTypes[setup.typeCode].text, setup.r0,
        setup.twoWire
            ? (", двухпроводная схема, Rлинии = " + std::to_string(setup.lineResistance) + " Ом")
                  .c_str()
            : "");

    SensorSeries series;
    const auto start = std::chrono::steady_clock::now();
    const auto answer = [&](const WatchAnswer& a) {
        series.add(a.point);
        printPoint(a);
    };
    const auto goOn = [&] {
        if (InterruptCount() > 0) return false;
        if (measure.count && series.size() >= *measure.count) return false;
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        return !(measure.seconds && elapsed.count() >= *measure.seconds);
    };
    const Outcome outcome = WatchSensor(link, setup, answer, goOn);

    int code = kExitDone;
    if (outcome == Outcome::Failed) {
        PrintLineFailure(link.LinkStatus, opened);
        code = kExitFailure;
    }
    printSummary(series);
    if (!measure.csvPath.empty()) {
        std::string error;
        if (!SaveSensorCsv(measure.csvPath, series, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            if (code == kExitDone) code = kExitFile;
        }
    }
    return code;
}

}  // namespace rv::cli
