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

int32_t StatusOfOpen(SerialPort::OpenResult result) {
    switch (result) {
        case SerialPort::OpenResult::Ok:
            return status::kOk;
        case SerialPort::OpenResult::CannotOpen:
            return status::kPortOpen;
        case SerialPort::OpenResult::NotCharDevice:
            return status::kNoSuchPort;
        case SerialPort::OpenResult::SetupFailed:
            return status::kPortSetup;
    }
    return status::kPortOpen;
}

std::string PortOpenDetail(const std::string& device, const SerialPort::OpenError& error) {
    using Failure = SerialPort::OpenFailure;
    if (error.cause == Failure::None) return {};
    const bool network = error.cause >= Failure::BadAddress;
    std::string detail = (network ? "Адрес: " : "Устройство: ") + device + "\nПричина: ";
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
        case Failure::BadAddress:
            detail += "неверный сетевой адрес: " + error.text +
                      " (нужно rfc2217://УЗЕЛ:ПОРТ или tcp://УЗЕЛ:ПОРТ)";
            break;
        case Failure::HostNotFound:
            detail += "узел не найден (проверьте имя узла)";
            break;
        case Failure::Refused:
            detail += "соединение отвергнуто: на этом порту шлюза никто не ждёт соединений";
            break;
        case Failure::NoAnswer:
            detail += "нет ответа на соединение: узел недоступен или порт закрыт";
            break;
        case Failure::ClosedByGateway:
            detail += "шлюз закрыл соединение";
            break;
        case Failure::GatewayBusy:
            detail += "шлюз обслуживает другого клиента";
            break;
        case Failure::NotComPortControl:
            detail +=
                "шлюз не согласился управлять портом по RFC 2217 (COM-PORT-OPTION); "
                "для порта простого TCP укажите адрес tcp://";
            break;
        case Failure::SpeedRefused:
            detail += "шлюз не принял скорость " + std::to_string(error.baud) + " бод";
            break;
        case Failure::SpeedUnconfirmed:
            detail += "шлюз не подтвердил скорость " + std::to_string(error.baud) + " бод";
            break;
        case Failure::Cancelled:
            detail += "соединение прервано по запросу";
            break;
        case Failure::NetworkError:
            detail += "ошибка сети (код " + std::to_string(error.systemCode) + ")";
            break;
    }
    return detail;
}

}  // namespace rv
