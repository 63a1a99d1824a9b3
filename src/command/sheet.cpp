#include "command/sheet.h"

#include <charconv>

#include "command/usage.h"
#include "workspace/write_log.h"

namespace talvern {

bool Outcome::refused() const {
  return failed || failure.has_value() || message.starts_with("ERROR!!") ||
         message.starts_with("INPUT ERROR!!") || has_write_caution(message);
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
