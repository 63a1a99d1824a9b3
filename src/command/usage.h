#pragma once
// The usage of a command as its sheet writes it ("FILE [--columns COLUMNS]
// --exc T (--add|--subtract)"), read once into what the command line may
// hold; and the parts of a command line every subcommand shares.

#include <string>
#include <string_view>
#include <vector>

#include "command/sheet.h"

namespace talvern {

struct UsageItem {
  std::string name;                       // "FILE", "--exc"; for one of two flags the first
  std::vector<std::string> alternatives;  // "(--add|--subtract)": both; else the name alone
  bool positional = false;
  bool required = false;
  bool value = false;  // an option that takes a value
  bool repeatable = false;  // "[--peak C,A,W...]", "[FILE...]": given any number of times
};

// The items of `usage`, in its order.
std::vector<UsageItem> parse_usage(std::string_view usage);

// A command line split by the usage: the positional arguments and the
// options. Throws UsageError for an unknown, repeated or valueless option,
// a missing required one, or the wrong number of positional arguments.
// Anything not starting with "--" is positional, so "-60" is a value.
void split_command_line(std::string_view command, const std::vector<UsageItem>& usage,
                        const std::vector<std::string_view>& tokens, CommandRun& run);

// The column options of every command that reads a user's file: with
// --columns, --kev or --skip-headers, the file is read by the column import
// (the columns of --columns, else the first ones in order).
inline constexpr std::string_view kColumnOptions[] = {"--columns", "--kev", "--skip-headers"};
// The usage of a command that reads FILE, the column options included.
inline constexpr const char* kFileUsage = "FILE [--columns COLUMNS]\n[--kev] [--skip-headers]";
// The usage of a load of a measured spectrum: several files are repeated
// scans, merged into their mean (--align: on their steepest rise); so are
// several groups of a project file (--group, a label or "#N").
inline constexpr const char* kScansUsage =
    "FILE [FILE...] [--columns COLUMNS]\n[--kev] [--skip-headers] [--align] [--group LABEL...]";
bool is_column_option(std::string_view option);
// The import those options ask for, into `files`, and the groups of a
// project file that --group names; throws UsageError for a --columns the
// import cannot take.
void column_import_from_options(const Options& options, UserFiles& files);
// The options that give the column choice `choice` (for the history).
std::vector<std::pair<std::string, std::string>> column_choice_options(const ColumnChoice& choice);

// The whole of `text` as a finite number or an integer, a leading "+"
// allowed; throws UsageError naming what it is not.
double number_arg(std::string_view text);
int integer_arg(std::string_view text);
std::optional<int> parse_integer(std::string_view text);


}  // namespace talvern
