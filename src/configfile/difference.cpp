#include "configfile/difference.h"

#include <cstdio>

#include "config/relay_table.h"
#include "configfile/exact_real.h"
#include "configfile/value_texts.h"
#include "link/timeouts.h"

namespace rv {

namespace {

std::string realText(const WorkingReal& value) { return ShortestRealText(ToDeviceFloat(value)); }

std::string yesNo(bool value) { return value ? "да" : "нет"; }

std::string hex4(uint16_t value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04X", value);
    return buffer;
}

// Keeps the settings that differ, or every setting when `all` is set.
class Collector {
  public:
    Collector(std::vector<FieldDifference>& out, bool all) : out_(out), all_(all) {}

    void text(int channel, const std::string& field, const std::string& left,
              const std::string& right) {
        if (all_ || left != right) out_.push_back({channel, field, left, right});
    }
    void real(int channel, const char* field, const WorkingReal& left, const WorkingReal& right) {
        if (all_ || ToDeviceFloat(left) != ToDeviceFloat(right))
            out_.push_back({channel, field, realText(left), realText(right)});
    }

  private:
    std::vector<FieldDifference>& out_;
    bool all_;
};

void compareChannel(Collector& c, int n, const ChannelConfig& a, const ChannelConfig& b) {
    c.text(n, "Тип  датчика", SensorTypeText(a.SensorType), SensorTypeText(b.SensorType));
    c.text(n, "Тип  схемы подкл.ТС", SchemeText(a.Scheme), SchemeText(b.Scheme));
    c.text(n, "Кол-во знаков после запятой", std::to_string(a.Frac), std::to_string(b.Frac));
    c.real(n, "Сопр. датчика  в  0°C", a.Rt0, b.Rt0);
    c.real(n, "Сопротивл. провода", a.RLine, b.RLine);
    c.real(n, "Поправка  по  темп.", a.Delta, b.Delta);
    c.text(n, "Кол-во усреднений", std::to_string(a.Usred), std::to_string(b.Usred));
    c.real(n, "Значение при   min сигнала", a.Diap1, b.Diap1);
    c.real(n, "Значение при   max сигнала", a.Diap2, b.Diap2);
    c.text(n, "БИК", yesNo(a.Flags & 1u), yesNo(b.Flags & 1u));
    if ((a.Flags & ~1u) != (b.Flags & ~1u)) {
        c.text(n, "Флаги канала", hex4(a.Flags), hex4(b.Flags));
    }
    c.real(n, "Уставка 1", a.Ustav1, b.Ustav1);
    c.real(n, "Гистерезис уставки 1", a.Gist1, b.Gist1);
    c.real(n, "Уставка 2", a.Ustav2, b.Ustav2);
    c.real(n, "Гистерезис уставки 2", a.Gist2, b.Gist2);
    c.real(n, "Обрыв датчика (низ)", a.AlarmLow, b.AlarmLow);
    c.real(n, "Обрыв датчика (верх)", a.AlarmHigh, b.AlarmHigh);
}

constexpr const char* kEventNames[] = {"Уставка 1", "Уставка 2", "Ошибка"};

void collect(const ConfigImage& left, const ConfigImage& right, Collector& c) {
    for (int i = 0; i < kChannelCount; ++i) {
        compareChannel(c, i + 1, left.Channels[static_cast<size_t>(i)],
                       right.Channels[static_cast<size_t>(i)]);
    }
    for (int i = 0; i < kChannelCount; ++i) {
        c.text(i + 1, "Используемые каналы", yesNo((left.UsedChannels >> i) & 1u),
               yesNo((right.UsedChannels >> i) & 1u));
    }
    if ((left.UsedChannels >> 8) != (right.UsedChannels >> 8)) {
        c.text(0, "Используемые каналы (старший байт)", hex4(left.UsedChannels >> 8),
               hex4(right.UsedChannels >> 8));
    }
    c.text(0, "Время индикации",
           std::to_string(SecondsFromDisplayCode(left.DisplayPeriodByte)) + " сек. (код " +
               std::to_string(left.DisplayPeriodByte) + ")",
           std::to_string(SecondsFromDisplayCode(right.DisplayPeriodByte)) + " сек. (код " +
               std::to_string(right.DisplayPeriodByte) + ")");
    RelayTableBytes a = left.RelayTable;
    RelayTableBytes b = right.RelayTable;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        for (int e = 0; e < 3; ++e) {
            const int event = 3 * channel + e;
            for (int relay = 0; relay < kRelayCount; ++relay) {
                const std::string field =
                    "Реле" + std::to_string(relay + 1) + ": " + kEventNames[e];
                c.text(channel + 1, field, RelayCodeText(event, RelayCode(a, relay, event)),
                       RelayCodeText(event, RelayCode(b, relay, event)));
            }
        }
    }
}

}  // namespace

std::vector<FieldDifference> CompareConfigurations(const ConfigImage& left,
                                                   const ConfigImage& right) {
    std::vector<FieldDifference> out;
    Collector c(out, false);
    collect(left, right, c);
    return out;
}

std::vector<FieldDifference> CompareNetworkSettings(const ConfigImage& left,
                                                    const ConfigImage& right) {
    const auto speedText = [](uint8_t index) {
        return index < kSpeedCount ? std::to_string(BaudOfSpeedIndex(index)) + " бод"
                                   : "код " + std::to_string(index);
    };
    std::vector<FieldDifference> out;
    Collector c(out, false);
    c.text(0, "Сетевой  номер", std::to_string(left.DialogNetNumber),
           std::to_string(right.DialogNetNumber));
    c.text(0, "Скор.  интерф.", speedText(left.DialogSpeedIndex),
           speedText(right.DialogSpeedIndex));
    if (left.Password != right.Password) out.push_back({0, "Пароль", "прежний", "новый"});
    return out;
}

std::vector<FieldValue> ConfigurationFields(const ConfigImage& image) {
    std::vector<FieldDifference> all;
    Collector c(all, true);
    collect(image, image, c);
    std::vector<FieldValue> fields;
    fields.reserve(all.size());
    for (FieldDifference& f : all)
        fields.push_back({f.channel, std::move(f.field), std::move(f.left)});
    return fields;
}

InstrumentIdentity IdentityOf(const ConfigImage& image, const std::string& family) {
    return {family, image.ChannelsFitted, image.RelayMask, image.LoadedId};
}

std::vector<std::string> IdentityDifferences(const InstrumentIdentity& file,
                                             const InstrumentIdentity& instrument,
                                             const std::string& where) {
    std::vector<std::string> lines;
    if (file.Family != instrument.Family) {
        lines.push_back("Семейство: " + where + " «" + file.Family + "», прибор ответил «" +
                        instrument.Family + "»");
        return lines;  // an instrument of another family has no fitted channels to compare
    }
    if (file.ChannelsFitted != instrument.ChannelsFitted) {
        lines.push_back("Модель: " + where + " " + ModelName(file.ChannelsFitted) + " (каналы " +
                        hex4(file.ChannelsFitted) + "), прибор " +
                        ModelName(instrument.ChannelsFitted) + " (каналы " +
                        hex4(instrument.ChannelsFitted) + ")");
    }
    if (file.RelayMask != instrument.RelayMask) {
        lines.push_back("Маска реле: " + where + " " + hex4(file.RelayMask) + ", в приборе " +
                        hex4(instrument.RelayMask));
    }
    return lines;
}

}  // namespace rv
