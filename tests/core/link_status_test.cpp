// Status texts and the time-outs of the speed table.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/link.h"
#include "link/status.h"
#include "link/timeouts.h"

namespace rv {
namespace {

TEST(LinkStatusText, EveryCodeOfTheTable) {
    struct Case {
        uint32_t code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {0, ""},
        {5, "Нельзя открыть   COM-порт"},
        {6, "Ошибка установок COM-порта"},
        {7, "Ошибка обмена"},
        {8, "Ошибка записи во внутреннюю память"},
        {9, "Нет ответа"},
        {10, "Неизвестный  прибор"},
        {15, "Ошибочная длина строки"},
        {16, "Невозможно записать в COM-порт"},
        {17, "Данные испорчены. Запись невозможна"},
        {18, "Невозможно считать из COM-порта"},
        {21, "COM-порт не существует"},
        {30, "Ошибка памяти данных"},
        {31, "Прибор RV740x не обнаружен"},
        {32, "Данные были считаны из другого прибора"},
        {35, "Неправильно заданы точки для калибровки"},
    };
    for (const Case& c : cases) EXPECT_EQ(StatusText(c.code), c.text) << c.code;
}

TEST(LinkStatusText, OtherCodesGetTheDefaultText) {
    const std::string prefix = "Неизвестная ошибка  ";
    for (uint32_t code : {1u, 2u, 4u, 11u, 19u, 20u, 22u, 33u, 34u, 36u, 99u, 100u, 4294967295u}) {
        EXPECT_EQ(StatusText(code), prefix + std::to_string(code)) << code;
    }
    // A negative LinkStatus is shown as its unsigned value.
    EXPECT_EQ(StatusText(static_cast<uint32_t>(int32_t{-1})), prefix + "4294967295");
}

TEST(LinkState, InitialValues) {
    const Link link;
    EXPECT_EQ(link.Device, "/dev/ttyS0");
    EXPECT_EQ(link.BaudRate, 9600u);
    EXPECT_EQ(link.ReplyTimeout, kInitialReplyTimeout);
    EXPECT_EQ(link.NetNumber, 1u);
    EXPECT_FALSE(link.CancelFlag);
    EXPECT_EQ(link.LinkStatus, 0);
    EXPECT_FALSE(link.port.isOpen());
    for (const auto& field : link.ReplyFields) EXPECT_TRUE(field.empty());
}

}  // namespace
}  // namespace rv
