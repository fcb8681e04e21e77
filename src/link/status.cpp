#include "link/status.h"

#include <cerrno>
#include <cstring>

namespace rv {

std::string StatusText(uint32_t code) {
    switch (code) {
        case 0:
            return {};
        case 5:
            return "Нельзя открыть   COM-порт";
        case 6:
            return "Ошибка установок COM-порта";
        case 7:
            return "Ошибка обмена";
        case 8:
            return "Ошибка записи во внутреннюю память";
        case 9:
            return "Нет ответа";
        case 10:
            return "Неизвестный  прибор";
        case 15:
            return "Ошибочная длина строки";
        case 16:
            return "Невозможно записать в COM-порт";
        case 17:
            return "Данные испорчены. Запись невозможна";
        case 18:
            return "Невозможно считать из COM-порта";
        case 21:
            return "COM-порт не существует";
        case 30:
            return "Ошибка памяти данных";
        case 31:
            return "Прибор RV740x не обнаружен";
        case 32:
            return "Данные были считаны из другого прибора";
        case 35:
            return "Неправильно заданы точки для калибровки";
        default:
            return "Неизвестная ошибка  " + std::to_string(code);
    }
}

std::string PortOpenDetail(const std::string& device, const SerialPort::OpenError& error) {
    using Failure = SerialPort::OpenFailure;
    std::string detail = "Устройство: " + device + "\nПричина: ";
    switch (error.cause) {
        case Failure::None:
            return {};
        case Failure::NotFound:
            detail += "устройство не найдено";
            break;
        case Failure::NoPermission:
            detail += "нет прав доступа (добавьте себя в группу dialout и войдите заново)";
            break;
        case Failure::HeldByAnother:
            detail += "порт занят другой программой";
            if (!error.holder.empty()) detail += "\nПрограмма: " + error.holder;
            break;
        case Failure::Other:
            detail += error.systemCode == ENOTTY
                          ? "это не последовательный порт"
                          : "ошибка системы " + std::to_string(error.systemCode) + " (" +
                                std::strerror(error.systemCode) + ")";
            break;
    }
    return detail;
}

}  // namespace rv
