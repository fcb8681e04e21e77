#include "russian_cli.h"

#include <regex>
#include <utility>

namespace rv::cli {

namespace {

// The whole number of a text, or false when it is none or too long to be one of ours.
bool wholeNumber(const std::string& text, unsigned long& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoul(text);
    return true;
}

}  // namespace

void UseRussianHelp(CLI::App& app) {
    auto formatter = std::make_shared<CLI::Formatter>();
    const std::pair<const char*, const char*> labels[] = {
        {"Usage", "Запуск"},
        {"OPTIONS", "КЛЮЧИ"},
        {"SUBCOMMAND", "КОМАНДА"},
        {"SUBCOMMANDS", "КОМАНДЫ"},
        {"Positionals", "Аргументы"},
        {"REQUIRED", "обязательный"},
        {"Needs", "Требует"},
        {"Excludes", "Несовместим с"},
        {"TEXT", "ТЕКСТ"},
        {"UINT", "ЧИСЛО"},
        {"INT", "ЧИСЛО"},
    };
    for (const auto& [key, text] : labels) formatter->label(key, text);
    formatter->column_width(34);
    app.formatter(formatter);
    app.option_defaults()->group("Ключи");
}

void GroupCommands(CLI::App& app) {
    for (CLI::App* command : app.get_subcommands({})) {
        command->group("Команды");
        // A command's own help flags are made before the Russian group is known to it.
        for (const char* name : {"--help", "--help-all"})
            if (CLI::Option* help = command->get_option_no_throw(name)) help->group("Ключи");
    }
}

CLI::Validator RangeCheck(unsigned low, unsigned high) {
    const std::string range = std::to_string(low) + ".." + std::to_string(high);
    return CLI::Validator(
        [low, high, range](std::string& input) -> std::string {
            unsigned long value = 0;
            if (!wholeNumber(input, value)) return "«" + input + "» — не целое число";
            if (value < low || value > high) return input + " вне допустимых значений " + range;
            return {};
        },
        range);
}

CLI::Validator OneOfCheck(const std::vector<unsigned>& allowed) {
    std::string list;
    for (unsigned v : allowed) list += (list.empty() ? "" : ", ") + std::to_string(v);
    return CLI::Validator(
        [allowed, list](std::string& input) -> std::string {
            unsigned long value = 0;
            if (wholeNumber(input, value)) {
                for (unsigned v : allowed)
                    if (v == value) return {};
            }
            return "«" + input + "» не из списка: " + list;
        },
        "{" + list + "}");
}

std::string RussianError(const CLI::ParseError& error) {
    std::string text = error.what();
    // CLI11's own messages, as it words them, and their Russian.
    const std::pair<const char*, const char*> patterns[] = {
        {"^A subcommand is required$", "не задана команда"},
        {"^(.+) is required$", "не задан обязательный аргумент $1"},
        {"^The following arguments? (was|were) not expected: (.*)$", "лишние аргументы: $2"},
        {"^Expected exactly ([0-9]+) arguments to (.+), got ([0-9]+)$",
         "$2: нужно аргументов: $1, задано: $3"},
        {"^Expected at least ([0-9]+) arguments to (.+), got ([0-9]+)$",
         "$2: нужно аргументов не меньше $1, задано: $3"},
        {"^(.+): At Most ([0-9]+) required but received ([0-9]+)$",
         "$1: нужно аргументов не больше $2, задано: $3"},
        {"^(.+): At least ([0-9]+) required but received ([0-9]+)$",
         "$1: нужно аргументов не меньше $2, задано: $3"},
        {"^(.+): ([0-9]+) required (.+) missing$", "$1: не хватает аргументов ($2)"},
        {"^Could not convert: (.+) = (.*)$", "$1: «$2» — не подходящее значение"},
        {"^The value (.+) is not an allowed value for (.+)$", "$2: значение «$1» не допускается"},
        {"^(.+): too many inputs for a flag$", "$1: ключ не принимает значения"},
        {"^(.+) excludes (.+)$", "$1 нельзя задавать вместе с $2"},
        {"^(.+) requires (.+)$", "$1 требует $2"},
        {"^(.+) was given a disallowed flag override$", "$1: ключ не принимает значения"},
    };
    for (const auto& [pattern, russian] : patterns) {
        const std::regex re(pattern);
        if (std::regex_match(text, re)) return std::regex_replace(text, re, russian);
    }
    return text;
}

}  // namespace rv::cli
