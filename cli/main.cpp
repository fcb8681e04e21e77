// rv740x: finds, backs up, restores and compares the RV7406/RV7408 instruments on a line.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "commands.h"
#include "exit_codes.h"
#include "interrupt.h"

namespace {

using namespace rv::cli;

constexpr const char* kSweepNote =
    "Каждый номер ждёт ответа не дольше тайм-аута поиска своей скорости, поэтому поиск "
    "номеров 1..254 на всех семи скоростях (--all-speeds) длится до 21,5 минуты; "
    "сужайте его ключами --from и --to.";

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"rv740x: поиск, чтение, сравнение и запись конфигурации приборов RV7406/RV7408 "
                 "на линии"};
    app.require_subcommand(1);
    app.set_help_flag("-h,--help", "Эта справка");
    app.set_help_all_flag("--help-all", "Справка по всем командам");
    const auto speeds = CLI::IsMember({300u, 600u, 1200u, 2400u, 4800u, 9600u, 19200u});

    LineOptions line;
    app.add_option("--port", line.port, "COM1..COM4 или путь к устройству (по умолчанию COM1)")
        ->type_name("COMn|DEVICE");
    unsigned baud = 0;
    CLI::Option* speedOption =
        app.add_option("--speed", baud, "Скорость линии, бод (по умолчанию 9600)")
            ->type_name("BAUD")
            ->check(speeds);
    app.add_option("--trace", line.tracePath,
                   "Записывать каждый кадр в файл («-»: в поток ошибок)")
        ->type_name("FILE");

    int exitCode = kExitDone;

    CLI::App* ports = app.add_subcommand("ports", "COM-порты и последовательные устройства");
    ports->callback([&] { exitCode = RunPorts(); });

    SearchOptions search;
    unsigned searchBaud = 0;
    CLI::App* searchCommand = app.add_subcommand("search", "Поиск приборов на линии");
    searchCommand->footer(kSweepNote);
    CLI::Option* allSpeeds =
        searchCommand->add_flag("--all-speeds", search.allSpeeds,
                                "Искать на всех скоростях от 300 до 19200 бод по очереди");
    searchCommand->add_option("--speed", searchBaud, "Искать только на этой скорости, бод")
        ->type_name("BAUD")
        ->check(speeds)
        ->excludes(allSpeeds);
    searchCommand->add_option("--from", search.first, "Первый номер (по умолчанию 1)")
        ->check(CLI::Range(1, 254));
    searchCommand->add_option("--to", search.last, "Последний номер (по умолчанию 254)")
        ->check(CLI::Range(1, 254));
    searchCommand->add_flag("--json", search.json, "Вывод в формате JSON");
    searchCommand->callback([&] {
        if (searchCommand->get_option("--speed")->count() > 0) line.baud = searchBaud;
        exitCode = RunSearch(line, search);
    });

    app.parse_complete_callback([&] {
        if (speedOption->count() > 0) line.baud = baud;
        if (search.first > search.last) {
            throw CLI::ValidationError("--from", "первый номер больше последнего");
        }
    });

    InstallInterruptHandler();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "Неверные аргументы: %s\nСправка: rv740x --help\n", e.what());
        return kExitUsage;
    }
    return exitCode;
}
