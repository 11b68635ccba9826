#include "cli/app.h"

#include "cli/messages.h"
#include "cli/usage.h"
#include "i18n/i18n.h"
#include "platform/system.h"

#ifndef VELMORA_SUPPORT_ADDRESS
#define VELMORA_SUPPORT_ADDRESS "support@velmora.example"
#endif

namespace cli {

std::string language_pass(std::vector<std::string>& args) {
    std::string language = "en";
    std::size_t i = 0;
    while (i < args.size()) {
        const std::string& a = args[i];
        if (a.size() > 6 && a.compare(0, 7, "--lang=") == 0) {
            language = a.substr(7);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
        } else if (a == "--lang") {
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            if (i < args.size() && (args[i] == "en" || args[i] == "ru")) {
                language = args[i];
                args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            }
        } else {
            ++i;
        }
    }
    return language;
}

void print_line_err(std::string_view text) {
    std::string line(text);
    line += '\n';
    platform::write_stderr(line);
}

void print_out(std::string_view text) { platform::write_stdout(text); }

void fail(std::string_view command, std::string_view text) {
    std::string line(command);
    line += ": ";
    line += text;
    print_line_err(line);
}

void fail_with_usage(std::string_view command, std::string_view text) {
    fail(command, text);
    print_line_err("");
    print_out(usage());
}

std::optional<std::string> require(const std::optional<std::string>& value, std::string_view flag) {
    if (value) return value;
    fail_with_usage("extract", i18n::trf(msg::kSpecify, {{"flag", flag}}));
    return std::nullopt;
}

std::optional<std::string> flag_value_lookup(const std::vector<std::string>& args, std::size_t& index,
                                             std::string_view flag) {
    ++index;
    if (index >= args.size() || (!args[index].empty() && args[index][0] == '-')) {
        fail("lookup", i18n::trf(msg::kKeyRequiresValue, {{"flag", flag}}));
        return std::nullopt;
    }
    return args[index];
}

void eprint_structural_diagnostic(std::string_view detail) {
    print_line_err("edit: " + i18n::tr(msg::kRefuseLine1));
    print_line_err(i18n::tr(msg::kRefuseLine2));
    print_line_err(i18n::tr(msg::kRefuseLine3) + VELMORA_SUPPORT_ADDRESS);
    print_line_err(i18n::tr(msg::kRefuseLine4));
    print_line_err("    " + std::string(detail));
}

int run(std::vector<std::string> args) {
    i18n::LANG = language_pass(args) == "ru";

    if (args.size() < 2 || args[1] == "-h" || args[1] == "--help") {
        print_out(usage());
        return 0;
    }
    const std::string& command = args[1];
    if (command == "-v" || command == "--version") {
        print_out("velmora-cli 2.4.0\n");
        return 0;
    }
    std::vector<std::string> rest(args.begin() + 2, args.end());
    if (command == "describe") return describe_cmd(rest);
    if (command == "extract") return extract_cmd(rest);
    if (command == "edit") return edit_cmd(rest);
    if (command == "lookup") return lookup_cmd(rest);

    print_line_err(i18n::tr(msg::kUnknownCommand) + ": " + command);
    print_line_err("");
    print_out(usage());
    return kExitUsage;
}

}  // namespace cli
