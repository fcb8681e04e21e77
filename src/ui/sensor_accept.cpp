#include "ui/sensor_accept.h"

#include <QDateTime>

#include "channel/fixed_text.h"
#include "ui/message_boxes.h"

namespace {

QString u(const char* text) { return QString::fromUtf8(text); }

QString number(double value, int decimals, bool plus = false) {
    return QString::fromStdString(rv::FixedText(value, decimals, plus))
        .replace(QLatin1Char('-'), QChar(0x2212));
}

QString clock(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000)).toString("hh:mm:ss");
}

QString wholeSeconds(double seconds) { return QString::number(qRound(seconds)); }

}  // namespace

bool ConfirmSettledValue(MessageBoxes& boxes, QWidget* parent, const QString& field,
                         int channelIndex, const rv::SettledValue& value,
                         const rv::StabilityLimits& limits) {
    using Grounds = rv::SettledValue::Grounds;
    if (value.grounds == Grounds::Nothing) return false;
    const rv::StabilityWindow& window = value.judgement.window;
    const QString times = clock(window.fromSeconds) + u("–") + clock(window.toSeconds);
    const QString question =
        u("Записать в %1 канала %2 среднее сопротивление за %3, %4 Ом (точек: %5)?\n"
          "В прибор значение попадёт при записи конфигурации.")
            .arg(field)
            .arg(channelIndex + 1)
            .arg(window.whole
                     ? u("окно стабильности, последние %1 с (%2)")
                           .arg(wholeSeconds(limits.holdSeconds), times)
                     : u("всё наблюдение, %1 с (%2)")
                           .arg(wholeSeconds(window.toSeconds - window.fromSeconds), times))
            .arg(number(value.resistance, 5))
            .arg(value.count);
    if (value.grounds == Grounds::Settled) return boxes.confirmYesNo(parent, question);

    QString why;
    const rv::SpanStatistics& s = value.judgement.statistics;
    if (!window.whole) {
        why = u("наблюдение идёт %1 с, меньше окна стабильности %2 с")
                  .arg(wholeSeconds(window.toSeconds - window.fromSeconds),
                       wholeSeconds(limits.holdSeconds));
    } else {
        const bool temperature = s.temperature.has_value();
        const rv::QuantityStatistics& q = temperature ? *s.temperature : s.resistance;
        const QString unit = temperature ? u("°C") : u("Ом");
        why = u("за последние %1 с дрейф %2 %3/мин (предел %4), СКО %5 %3 (предел %6)")
                  .arg(wholeSeconds(limits.holdSeconds), number(q.driftPerMinute, 3, true), unit,
                       number(limits.drift, 3), number(q.deviation, 3), number(limits.spread, 3));
    }
    return boxes.confirmRisky(parent,
                              u("Показания ещё не установились: ") + why + ".\n\n" + question);
}
