#include "command/usage.h"

#include <charconv>
#include <cmath>

#include "workspace/columns.h"

namespace talvern {

std::vector<UsageItem> parse_usage(std::string_view usage) {
  std::vector<UsageItem> items;
  std::vector<std::string_view> words;
  for (std::size_t i = 0; i < usage.size();) {
    while (i < usage.size() && (usage[i] == ' ' || usage[i] == '\n')) ++i;
    const std::size_t from = i;
    while (i < usage.size() && usage[i] != ' ' && usage[i] != '\n') ++i;
    if (i > from) words.push_back(usage.substr(from, i - from));
  }
  for (std::size_t w = 0; w < words.size(); ++w) {
    std::string_view word = words[w];
    UsageItem item;
    if (word.starts_with("(")) {  // (--a|--b): one of two flags
      word = word.substr(1, word.size() - 2);
      for (std::size_t bar; (bar = word.find('|')) != std::string_view::npos; word.remove_prefix(bar + 1))
        item.alternatives.emplace_back(word.substr(0, bar));
      item.alternatives.emplace_back(word);
      item.name = item.alternatives.front();
      item.required = true;
    } else if (word.starts_with("[")) {  // [--x V], [--x] or [X]
      const bool closed = word.ends_with("]");
      item.name = std::string(word.substr(1, closed ? word.size() - 2 : std::string_view::npos));
      item.positional = !word.starts_with("[--");
      if (item.positional && item.name.ends_with("...")) {  // [FILE...]
        item.name.resize(item.name.size() - 3);
        item.repeatable = true;
      }
      if (!closed && w + 1 < words.size()) {
        item.value = true;
        ++w;  // the value's name, ending in "]", or in "...]" when it may be repeated
        item.repeatable = words[w].ends_with("...]");
      }
    } else if (word.starts_with("--")) {  // --x V
      item.name = std::string(word);
      item.required = true;
      item.value = w + 1 < words.size() && !words[w + 1].starts_with("-") &&
                   !words[w + 1].starts_with("[") && !words[w + 1].starts_with("(");
      if (item.value) ++w;
    } else {  // X
      item.name = std::string(word);
      item.positional = item.required = true;
    }
    if (item.alternatives.empty()) item.alternatives.push_back(item.name);
    items.push_back(std::move(item));
  }
  return items;
}

void split_command_line(std::string_view command, const std::vector<UsageItem>& usage,
                        const std::vector<std::string_view>& tokens, CommandRun& run) {
  const std::string cmd(command);
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string_view t = tokens[i];
    if (!t.starts_with("--")) {
      run.arguments.emplace_back(t);
      continue;
    }
    const std::size_t eq = t.find('=');
    const std::string name(t.substr(0, eq));
    const UsageItem* known = nullptr;
    for (const auto& item : usage)
      for (const auto& a : item.alternatives)
        if (!item.positional && a == name) known = &item;
    if (!known) throw UsageError{cmd + ": unknown option " + name};
    if (run.options.has(name) && !known->repeatable)
      throw UsageError{cmd + ": " + name + " given twice"};
    if (!known->value) {
      if (eq != std::string_view::npos) throw UsageError{cmd + ": " + name + " takes no value"};
      run.options.set(name, "");
    } else if (eq != std::string_view::npos) {
      run.options.set(name, std::string(t.substr(eq + 1)));
    } else {
      if (i + 1 >= tokens.size()) throw UsageError{cmd + ": " + name + " needs a value"};
      run.options.set(name, std::string(tokens[++i]));
    }
  }
  std::size_t positional = 0, optional_positional = 0;
  bool more = false;  // a positional given any number of times
  for (const auto& item : usage) {
    if (item.positional) {
      ++(item.required ? positional : optional_positional);
      more |= item.repeatable;
      continue;
    }
    std::size_t given = 0;
    for (const auto& a : item.alternatives) given += run.options.has(a);
    if (item.alternatives.size() > 1 && given != 1)
      throw UsageError{cmd + " takes one of " + item.alternatives[0] + " and " +
                       item.alternatives[1]};
    if (item.required && given == 0) throw UsageError{cmd + ": " + item.name + " is required"};
  }
  const std::size_t n = run.arguments.size();
  if (n < positional || (n > positional + optional_positional && !more))
    throw UsageError{cmd + " takes " + std::to_string(positional) + " argument(s)"};
}

bool is_column_option(std::string_view option) {
  for (std::string_view o : kColumnOptions)
    if (o == option) return true;
  return false;
}

void column_import_from_options(const Options& options, UserFiles& files) {
  std::vector<std::string> groups;
  for (const auto& [name, value] : options.all())
    if (name == "--group") groups.push_back(value);
  if (!groups.empty())
    files.choose_groups = [groups](const GroupRequest& request, std::string& error) {
      return resolve_groups(request.groups, groups, error);
    };
  if (!options.has("--columns") && !options.has("--kev") && !options.has("--skip-headers")) return;
  std::optional<ColumnChoice> given;
  if (const auto text = options.get("--columns")) {
    std::string error;
    given = parse_column_choice(*text, error);
    if (!given) throw UsageError{error};
  }
  const bool kev = options.has("--kev"), skip = options.has("--skip-headers");
  files.import_columns = [given, kev, skip](const ColumnRequest& request) {
    ColumnChoice choice;
    if (given) {
      choice = *given;
    } else {
      for (std::size_t c = 1; c < request.k; ++c) choice.intensities.push_back({.a = c});
    }
    choice.kev = kev;
    choice.skip_headers = skip;
    return std::optional(choice);
  };
  files.import_every_file = true;
}

std::vector<std::pair<std::string, std::string>> column_choice_options(const ColumnChoice& choice) {
  std::vector<std::pair<std::string, std::string>> out{{"--columns", column_choice_text(choice)}};
  if (choice.kev) out.emplace_back("--kev", "");
  if (choice.skip_headers) out.emplace_back("--skip-headers", "");
  return out;
}

double number_arg(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  double value = 0;
  auto res = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (res.ec != std::errc() || res.ptr != digits.data() + digits.size() || !std::isfinite(value))
    throw UsageError{"not a number: " + std::string(text)};
  return value;
}

std::optional<int> parse_integer(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int value = 0;
  auto res = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (res.ec != std::errc() || res.ptr != digits.data() + digits.size()) return std::nullopt;
  return value;
}

int integer_arg(std::string_view text) {
  if (const auto value = parse_integer(text)) return *value;
  throw UsageError{"not an integer: " + std::string(text)};
}

}  // namespace talvern
