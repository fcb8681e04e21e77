// rv740x: finds, backs up, restores and compares the RV7406/RV7408 instruments on a line.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "line_command.h"
#include "ports/platform.h"
#include "russian_cli.h"
#include "rv740x_version.h"

namespace {

using namespace rv::cli;

constexpr const char* kSweepNote =
    "Каждый номер ждёт ответа не дольше тайм-аута поиска своей скорости, поэтому поиск "
    "номеров 1..254 на всех семи скоростях (--all-speeds) длится до 21,5 минуты; "
    "сужайте его ключами --from и --to.";

int run(int argc, char** argv) {
    rv::PrepareConsole();
    CLI::App app{
        "rv740x: поиск, чтение, сравнение и запись конфигурации приборов RV7406/RV7408 "
        "на линии"};
    // The name the usage lines start with: "Запуск: rv740x [КЛЮЧИ] КОМАНДА".
    app.name("rv740x");
    app.footer("rv740x " RV740X_VERSION ", платформа: " + rv::PlatformName());
    UseRussianHelp(app);
    app.require_subcommand(1);
    app.set_help_flag("-h,--help", "Эта справка");
    app.set_help_all_flag("--help-all", "Справка по всем командам");
    app.set_version_flag("--version", "rv740x " RV740X_VERSION, "Версия программы");
    const auto speeds = OneOfCheck({300u, 600u, 1200u, 2400u, 4800u, 9600u, 19200u});

    LineOptions line;
    app.add_option("--port", line.port,
                   rv::ComNamesHint() +
                       ", путь к устройству или сетевой адрес шлюза rfc2217://УЗЕЛ:ПОРТ, "
                       "tcp://УЗЕЛ:ПОРТ (по умолчанию COM2, как в окне при запуске)")
        ->type_name("COMn|УСТРОЙСТВО|АДРЕС");
    unsigned baud = 0;
    CLI::Option* portOption = app.get_option("--port");
    CLI::Option* speedOption =
        app.add_option("--speed", baud, "Скорость линии, бод (по умолчанию 9600)")
            ->type_name("БОД")
            ->check(speeds);
    app.add_option("--trace", line.tracePath, "Записывать каждый кадр в файл («-»: в поток ошибок)")
        ->type_name("ФАЙЛ");

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
        ->type_name("БОД")
        ->check(speeds)
        ->excludes(allSpeeds);
    searchCommand->add_option("--from", search.first, "Первый номер (по умолчанию 1)")
        ->type_name("ЧИСЛО")
        ->check(RangeCheck(1, 254));
    searchCommand->add_option("--to", search.last, "Последний номер (по умолчанию 254)")
        ->type_name("ЧИСЛО")
        ->check(RangeCheck(1, 254));
    searchCommand->add_flag("--json", search.json, "Вывод в формате JSON");
    searchCommand->callback([&] {
        if (searchCommand->get_option("--speed")->count() > 0) line.baud = searchBaud;
        exitCode = RunSearch(line, search);
    });

    std::string outputPath;
    unsigned readNet = 0;
    CLI::App* read = app.add_subcommand("read", "Прочитать конфигурацию прибора в файл");
    read->add_option("N", readNet, "Сетевой номер прибора")
        ->required()
        ->type_name("ЧИСЛО")
        ->check(RangeCheck(1, 254));
    read->add_option("-o,--output", outputPath, "Файл конфигурации (без него: стандартный вывод)")
        ->type_name("ФАЙЛ");
    read->callback([&] { exitCode = RunRead(line, readNet, outputPath); });

    std::string showPath;
    CLI::App* show = app.add_subcommand("show", "Показать файл конфигурации таблицей");
    show->add_option("ФАЙЛ", showPath, "Файл конфигурации")->required()->type_name("");
    bool showHtml = false;
    show->add_flag("--html", showHtml, "Отчёт о конфигурации в формате HTML (как PDF окна)");
    show->callback([&] { exitCode = RunShow(showPath, showHtml); });

    std::vector<std::string> diffArgs;
    CLI::App* diff = app.add_subcommand(
        "diff", "Различия по полям: прибора N и файла или двух файлов (код 1, если они есть)");
    diff->add_option("N|ФАЙЛ ФАЙЛ", diffArgs, "Сетевой номер прибора или файл, затем файл")
        ->required()
        ->type_name("")
        ->option_text("обязательный")
        ->expected(2);
    diff->callback([&] {
        unsigned net = 0;
        const std::string& first = diffArgs[0];
        if (first.find_first_not_of("0123456789") == std::string::npos && first.size() <= 3) {
            net = static_cast<unsigned>(std::stoul(first));
            if (net < 1 || net > 254) {
                throw CLI::ValidationError("N", "сетевой номер должен быть от 1 до 254");
            }
            exitCode = RunDiffInstrument(line, net, diffArgs[1]);
        } else {
            exitCode = RunDiffFiles(first, diffArgs[1]);
        }
    });

    unsigned writeNet = 0;
    std::string writePath;
    bool yes = false;
    CLI::App* write = app.add_subcommand("write", "Записать файл конфигурации в прибор");
    write->add_option("N", writeNet, "Сетевой номер прибора")
        ->required()
        ->type_name("ЧИСЛО")
        ->check(RangeCheck(1, 254));
    write->add_option("ФАЙЛ", writePath, "Файл конфигурации")->required()->type_name("");
    write->add_flag("--yes", yes, "Не спрашивать подтверждения");
    std::string writeLine;
    write->add_option("--line", writeLine, "Файл линии: запись попадёт в журнал этой линии")
        ->type_name("ФАЙЛ");
    write->footer(
        "Первый Ctrl+C останавливает запись после текущего блока, второй сразу; каждый блок "
        "остаётся целым, старым или новым.");
    write->callback([&] { exitCode = RunWrite(line, writeNet, writePath, yes, writeLine); });

    std::string backupDir;
    bool backupAllSpeeds = false;
    unsigned backupFirst = 1;
    unsigned backupLast = 254;
    CLI::App* backup =
        app.add_subcommand("backup", "Найти приборы и сохранить конфигурацию каждого в каталог");
    backup->add_option("КАТАЛОГ", backupDir, "Каталог для файлов")->required()->type_name("");
    backup->add_flag("--all-speeds", backupAllSpeeds,
                     "Искать на всех скоростях от 300 до 19200 бод по очереди");
    backup->add_option("--from", backupFirst, "Первый номер (по умолчанию 1)")
        ->type_name("ЧИСЛО")
        ->check(RangeCheck(1, 254));
    backup->add_option("--to", backupLast, "Последний номер (по умолчанию 254)")
        ->type_name("ЧИСЛО")
        ->check(RangeCheck(1, 254));
    backup->footer(kSweepNote);
    backup->callback([&] {
        if (backupFirst > backupLast) {
            throw CLI::ValidationError("--from", "первый номер больше последнего");
        }
        exitCode = RunBackup(line, backupDir, backupAllSpeeds, backupFirst, backupLast);
    });

    unsigned measureNet = 0;
    MeasureOptions measure;
    size_t measureCount = 0;
    double measureSeconds = 0;
    CLI::App* measureCommand = app.add_subcommand(
        "measure", "Наблюдать сопротивление и температуру датчика на канале прибора");
    measureCommand->add_option("N", measureNet, "Сетевой номер прибора")
        ->required()
        ->type_name("ЧИСЛО")
        ->check(RangeCheck(1, 254));
    measureCommand->add_option("--channel", measure.channel, "Канал прибора")
        ->required()
        ->type_name("ЧИСЛО")
        ->check(RangeCheck(1, 8));
    measureCommand->add_option("--count", measureCount, "Остановиться после стольких ответов")
        ->type_name("ЧИСЛО")
        ->check(RangeCheck(1, 100'000'000));
    measureCommand->add_option("--seconds", measureSeconds, "Остановиться через столько секунд")
        ->type_name("СЕКУНДЫ")
        ->check(RealRangeCheck(0.001, 1e7, "0,001..10000000"));
    measureCommand
        ->add_option("--csv", measure.csvPath, "Сохранить точки в файл CSV (время ISO 8601, R, T)")
        ->type_name("ФАЙЛ");
    measureCommand->footer(
        "Каждый ответ прибора печатается строкой: время, R и T. Ctrl+C заканчивает наблюдение "
        "и печатает итог (среднее, СКО, дрейф, число точек); код 1, если отказала линия.");
    measureCommand->callback([&] {
        if (measureCommand->get_option("--count")->count() > 0) measure.count = measureCount;
        if (measureCommand->get_option("--seconds")->count() > 0) measure.seconds = measureSeconds;
        exitCode = RunMeasure(line, measureNet, measure);
    });

    AddLineCommand(app, line, portOption, exitCode);

    GroupCommands(app);
    app.parse_complete_callback([&] {
        if (speedOption->count() > 0) line.baud = baud;
        if (search.first > search.last) {
            throw CLI::ValidationError("--from", "первый номер больше последнего");
        }
    });

    InstallInterruptHandler();
    try {
        // Parsed in UTF-8 whatever the system passed; CLI11 takes them last first.
        std::vector<std::string> args = rv::CommandLineUtf8(argc, argv);
        if (!args.empty()) args.erase(args.begin());
        std::reverse(args.begin(), args.end());
        app.parse(args);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "Неверные аргументы: %s\nСправка: rv740x --help\n",
                     RussianError(e).c_str());
        return kExitUsage;
    }
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    // What no command expects (memory running out, say) still ends with a message.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rv740x: %s\n", e.what());
        return rv::cli::kExitFailure;
    } catch (...) {
        std::fprintf(stderr, "rv740x: непредвиденная ошибка\n");
        return rv::cli::kExitFailure;
    }
}
