#include "command/sheet.h"

#include <algorithm>
#include <charconv>

#include "command/usage.h"
#include "workspace/write_log.h"

namespace talvern {

bool Outcome::refused() const {
  return failed || failure.has_value() || message.starts_with("ERROR!!") ||
         message.starts_with("INPUT ERROR!!") || has_write_caution(message);
}

namespace {

void add_names(std::string& text, const std::vector<const char*>& names, const char* yours) {
  bool first = true;
  const auto add = [&](std::string_view name) {
    text += first ? " " : ", ";
    text += name;
    first = false;
  };
  if (yours) add(yours);
  for (const char* name : names) add(name);
}

void add_once(std::vector<const char*>& names, const std::vector<const char*>& more) {
  for (const char* name : more)
    if (std::find_if(names.begin(), names.end(),
                     [name](const char* n) { return std::string_view(n) == name; }) == names.end())
      names.push_back(name);
}

}  // namespace

std::string touches_text(const Touches& t) {
  constexpr const char* kYours = "a file you choose";
  const bool reads_yours = t.yours == Touches::Yours::read;
  const bool writes_yours = t.yours == Touches::Yours::written;
  std::string text;
  if (!t.reads.empty() || reads_yours) {
    text = "reads";
    add_names(text, t.reads, reads_yours ? kYours : nullptr);
  }
  if (!t.writes.empty() || writes_yours) {
    if (!text.empty()) text += "; ";
    text += "writes";
    add_names(text, t.writes, writes_yours ? kYours : nullptr);
  }
  if (text.empty()) return "touches no file";
  if (t.reads.empty() && t.writes.empty()) text += "; touches no work-space file";
  return text;
}

Touches touched_by_all(const std::vector<const Touches*>& all) {
  Touches together;
  bool read = false, written = false;
  for (const Touches* t : all) {
    add_once(together.reads, t->reads);
    add_once(together.writes, t->writes);
    read |= t->yours == Touches::Yours::read;
    written |= t->yours == Touches::Yours::written;
  }
  // A file of the user's read and another written: the written one is named.
  together.yours = written ? Touches::Yours::written
                           : read ? Touches::Yours::read : Touches::Yours::none;
  return together;
}

namespace sheet {

plot::ClickPoint click_of(std::string_view command, const CommandRun& run) {
  if (run.click) return *run.click;
  const auto energy = run.options.get("--energy");
  if (run.arguments.empty() == !energy)
    throw UsageError{std::string(command) + " takes X_L or --energy E"};
  if (energy) return plot::ClickPoint::at_energy(number_arg(*energy));
  return plot::PanelPoint{integer_arg(run.arguments[0]), 0};
}

}  // namespace sheet

std::string shortest_text(double value) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

}  // namespace talvern
