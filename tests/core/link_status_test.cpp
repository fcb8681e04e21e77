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
    EXPECT_EQ(StatusText(19), "Неизвестная ошибка  19");
    EXPECT_EQ(StatusText(99), "Неизвестная ошибка  99");
    // A negative LinkStatus is shown as its unsigned value.
    EXPECT_EQ(StatusText(static_cast<uint32_t>(int32_t{-1})), prefix + "4294967295");
}

TEST(LinkTimeouts, SpeedTableInMicroseconds) {
    struct Case {
        int index;
        uint32_t baud;
        long long reply;  // day fraction x 86 400 s
        long long search;
    };
    const std::vector<Case> cases = {
        {0, 300, 13'910'400, 1'391'040},                                // 0.000161, 0.0000161 day
        {1, 600, 7'948'800, 695'520},                                   // 0.000092, 0.00000805
        {2, 1200, 4'471'200, 695'520},                                  // 0.00005175
        {3, 2400, 2'484'000, 695'520},                                  // 0.00002875
        {4, 4800, 1'490'400, 596'160},                                  // 0.00001725, 0.0000069
        {5, 9600, 993'600, 496'800},                                    // 0.0000115, 0.00000575
        {6, 19200, 993'600, 496'800},    {-1, 9600, 993'600, 496'800},  // nothing selected
        {7, 9600, 993'600, 496'800},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BaudOfSpeedIndex(c.index), c.baud) << c.index;
        EXPECT_EQ(ReplyTimeoutOfSpeedIndex(c.index).count(), c.reply) << c.index;
        EXPECT_EQ(SearchTimeoutOfSpeedIndex(c.index).count(), c.search) << c.index;
        Link link;
        link.applySpeedIndex(c.index);
        EXPECT_EQ(link.BaudRate, c.baud);
        EXPECT_EQ(link.ReplyTimeout.count(), c.reply);
    }
    EXPECT_EQ(kInitialReplyTimeout.count(), 397'440);        // 0.0000046 day
    EXPECT_EQ(kMeasurementExtraTimeout.count(), 9'936'000);  // 0.000115 day
}

TEST(LinkState, InitialValues) {
    const Link link;
    EXPECT_EQ(link.PortIndex, 0);
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
