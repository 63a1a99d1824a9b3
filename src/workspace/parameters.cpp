#include "workspace/parameters.h"

#include <cmath>
#include <string>

#include "workspace/file_names.h"
#include "workspace/number_text.h"

namespace talvern {

std::size_t read_parameters(const std::filesystem::path& file, CalcParameters& out) {
  auto a = out.to_array();
  std::size_t n = read_one_row(file, a.data(), a.size());
  out.from_array(a);
  return n;
}

WriteStatus write_parameters(const std::filesystem::path& file, const CalcParameters& p) {
  auto a = p.to_array();
  return write_rows(file, a.data(), 1, a.size());
}

ParameterUpdate update_parameters(const WorkSpace& ws,
                                  const std::function<void(CalcParameters&)>& change) {
  ParameterUpdate u;
  CalcParameters p;
  u.values_found = read_parameters(ws.file(files::kParameters), p);
  change(p);
  u.write = write_parameters(ws.file(files::kParameters), p);
  return u;
}

std::size_t read_lorentz(const std::filesystem::path& file, LorentzSet& out) {
  std::string text;
  if (!read_text(file, text)) return 0;
  return parse_lorentz(text, out);
}

std::size_t parse_lorentz(std::string_view text, LorentzSet& out) {
  NumberScanner s(text);
  long flag = 0;
  if (!s.next_int(flag)) return 0;
  out.two_component = flag;
  std::size_t n = 1;
  for (auto* group : {&out.width, &out.position, &out.amplitude})
    for (double& v : *group) {
      if (!s.next(v)) return n;
      ++n;
    }
  return n;
}

bool is_whole_lorentz_setting(std::string_view text) {
  // Each value is a whole white-space separated word.
  std::size_t values = 0;
  std::size_t pos = 0;
  while (true) {
    while (pos < text.size() && is_space(text[pos])) ++pos;
    if (pos == text.size()) break;
    std::size_t end = pos;
    while (end < text.size() && !is_space(text[end])) ++end;
    const std::string_view word = text.substr(pos, end - pos);
    pos = end;
    if (++values > LorentzSet::kCount) return false;
    NumberScanner s(word);
    if (values == 1) {
      long flag = -1;
      if (!s.next_int(flag) || !s.eof() || (flag != 0 && flag != 1)) return false;
    } else {
      double v = 0;
      if (!s.next(v) || !s.eof() || !std::isfinite(v)) return false;
    }
  }
  return values == LorentzSet::kCount;
}

std::string format_lorentz(const LorentzSet& set) {
  std::string s;
  append_int(s, set.two_component);
  for (const auto* group : {&set.width, &set.position, &set.amplitude})
    for (double v : *group) {
      s += '\t';
      append_g6(s, v);
    }
  s += '\n';
  return s;
}

WriteStatus write_lorentz(const std::filesystem::path& file, const LorentzSet& set) {
  for (const auto* group : {&set.width, &set.position, &set.amplitude})
    for (double v : *group)
      if (!std::isfinite(v)) return WriteStatus::not_finite;
  return write_text_atomic(file, format_lorentz(set));
}

}  // namespace talvern
