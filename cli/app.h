// The program entry's logic: language pass, dispatch and the commands.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Exit statuses: the operation failed, or the command line is wrong.
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Removes every "--lang" option from `args` and returns the language value it selected
// ("en" when none did). A later occurrence overrides an earlier one.
std::string language_pass(std::vector<std::string>& args);

// Runs the program on its arguments (element 0 the program path) and returns the exit status.
int run(std::vector<std::string> args);

int describe_cmd(const std::vector<std::string>& args);
int lookup_cmd(const std::vector<std::string>& args);
int extract_cmd(const std::vector<std::string>& args);
int edit_cmd(const std::vector<std::string>& args);

// Printing helpers shared by the commands.
void print_line_err(std::string_view text);
void print_out(std::string_view text);
// "{command}: {text}" on standard error.
void fail(std::string_view command, std::string_view text);
// "{command}: {text}", an empty line on standard error, then the usage text on standard output.
void fail_with_usage(std::string_view command, std::string_view text);

// The value of an option of the extract command, or, when absent, "extract: specify {flag}"
// with the usage text; the caller then ends with status 2.
std::optional<std::string> require(const std::optional<std::string>& value, std::string_view flag);

// The argument after `index` as the value of `flag` for the lookup command; nothing (after the
// message) when it is missing or starts with "-".
std::optional<std::string> flag_value_lookup(const std::vector<std::string>& args, std::size_t& index,
                                             std::string_view flag);

// The refusal block of the edit command for a disc structure it will not touch.
void eprint_structural_diagnostic(std::string_view detail);

}  // namespace cli
