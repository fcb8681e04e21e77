#include "configfile/value_texts.h"

#include <array>
#include <string_view>

#include "channel/sensors.h"
#include "config/relay_table.h"

namespace rv {

namespace {

std::string trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string codeText(int code) { return "код " + std::to_string(code); }

constexpr std::array<const char*, 4> kSetPointCodes{"Нет", "Нижняя", "Верхняя", "Выкл"};
// The window shows a fault cell's code 3 as none.
constexpr std::array<const char*, 4> kFaultCodes{"Нет", "Вкл", "Выкл", "Нет (код 3)"};

}  // namespace

std::string SensorTypeText(int code) {
    if (code < 0 || code >= kSensorTypeCount) return codeText(code);
    return trimmed(kSensorTypes[static_cast<size_t>(code)].text);
}

std::string SchemeText(int code) {
    if (code < 0 || code >= kSchemeCount) return codeText(code);
    return trimmed(kSchemeTexts[static_cast<size_t>(code)]);
}

std::string RelayCodeText(int event, int code) {
    if (code < 0 || code > 3) return codeText(code);
    const auto& texts = IsFaultEvent(event) ? kFaultCodes : kSetPointCodes;
    return texts[static_cast<size_t>(code)];
}

std::string ModelName(uint16_t channelsFitted) {
    if (channelsFitted == 0x3F) return "RV7406";
    if (channelsFitted == 0xFF) return "RV7408";
    return "RV740x";
}

}  // namespace rv
