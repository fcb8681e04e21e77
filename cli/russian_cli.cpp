#include "russian_cli.h"

#include <cmath>
#include <locale>
#include <regex>
#include <sstream>
#include <utility>
#include <vector>

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

// The width of a UTF-8 text on a terminal: one column per character, not per byte.
size_t columns(const std::string& text) {
    size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// Words of `text` in lines of at most `width` columns; a word longer than that stands alone.
std::vector<std::string> wrapped(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    std::istringstream paragraphs(text);
    for (std::string paragraph; std::getline(paragraphs, paragraph);) {
        std::istringstream words(paragraph);
        std::string line;
        for (std::string word; words >> word;) {
            if (!line.empty() && columns(line) + 1 + columns(word) > width) {
                lines.push_back(line);
                line.clear();
            }
            line += (line.empty() ? "" : " ") + word;
        }
        lines.push_back(line);
    }
    return lines;
}

// CLI11's help with the columns counted in characters, descriptions and notes wrapped at the
// terminal's usual 80 columns, and a value's type and its check written "ЧИСЛО 1..254".
class RussianFormatter : public CLI::Formatter {
  public:
    static constexpr size_t kWidth = 80;

    std::string make_option(const CLI::Option* opt, bool positional) const override {
        return twoColumns(make_option_name(opt, positional) + make_option_opts(opt),
                          make_option_desc(opt));
    }
    std::string make_option_opts(const CLI::Option* opt) const override {
        std::string text = CLI::Formatter::make_option_opts(opt);
        // The options it cannot go with are told in its description instead.
        const size_t excludes = text.find(" " + get_label("Excludes"));
        if (excludes != std::string::npos) text.erase(excludes);
        const std::string type = opt->get_type_name();
        const size_t colon = type.find(':');
        if (colon == std::string::npos) return text;
        const size_t at = text.find(type);
        if (at != std::string::npos) text[at + colon] = ' ';
        return text;
    }
    std::string make_option_desc(const CLI::Option* opt) const override {
        std::string text = opt->get_description();
        for (const CLI::Option* other : opt->get_excludes())
            text += " (не вместе с " + other->get_name() + ")";
        return text;
    }
    // A positional of several values spells them in its name ("N|ФАЙЛ ФАЙЛ"): no "(2x)".
    std::string make_option_usage(const CLI::Option* opt) const override {
        const std::string name = make_option_name(opt, true);
        return opt->get_required() ? name : "[" + name + "]";
    }
    std::string make_subcommand(const CLI::App* sub) const override {
        return twoColumns(sub->get_display_name(true), sub->get_description());
    }
    std::string make_footer(const CLI::App* app) const override {
        std::string out;
        for (const std::string& line : wrapped(app->get_footer(), kWidth)) out += line + "\n";
        return app->get_footer().empty() ? std::string() : out;
    }
    std::string make_description(const CLI::App* app) const override {
        std::string out;
        for (const std::string& line : wrapped(app->get_description(), kWidth)) out += line + "\n";
        return app->get_description().empty() ? std::string() : out;
    }

  private:
    std::string twoColumns(const std::string& name, const std::string& description) const {
        const size_t width = get_column_width();
        std::string out = "  " + name;
        const std::vector<std::string> lines = wrapped(description, kWidth - width);
        if (description.empty()) return out + "\n";
        if (columns(out) >= width) {
            out += "\n" + std::string(width, ' ');
        } else {
            out += std::string(width - columns(out), ' ');
        }
        for (size_t i = 0; i < lines.size(); ++i)
            out += (i > 0 ? std::string(width, ' ') : std::string()) + lines[i] + "\n";
        return out;
    }
};

// A real number of a text, or false when it is none.
bool realNumber(const std::string& text, double& value) {
    if (text.empty() || text.size() > 24) return false;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> value;
    return !in.fail() && in.eof() && std::isfinite(value);
}

}  // namespace

void UseRussianHelp(CLI::App& app) {
    auto formatter = std::make_shared<RussianFormatter>();
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
        {"FLOAT", "ЧИСЛО"},
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

CLI::Validator RealRangeCheck(double low, double high, const std::string& range) {
    return CLI::Validator(
        [low, high, range](std::string& input) -> std::string {
            double value = 0;
            if (!realNumber(input, value)) return "«" + input + "» — не число";
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
