#include "workspace/xdi.h"

#include <charconv>

namespace talvern {

namespace {

bool blank_char(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && blank_char(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank_char(s.back())) s.remove_suffix(1);
  return s;
}

std::string first_word_lower(std::string_view name) {
  name = trimmed(name);
  std::string word;
  for (char c : name) {
    if (blank_char(c)) break;
    word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return word;
}

// Columns named more than this are taken for a damaged header.
constexpr std::size_t kMaxXdiColumns = 1000;

}  // namespace

bool is_xdi(std::string_view text) {
  const std::string_view line = trimmed(text.substr(0, text.find('\n')));
  if (!line.starts_with('#')) return false;
  return trimmed(line.substr(1)).starts_with("XDI/");
}

XdiHeader read_xdi_header(std::string_view text) {
  XdiHeader header;
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    std::string_view line = trimmed(text.substr(0, nl));
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (!line.starts_with('#')) break;  // the header ends at the first data line
    line = trimmed(line.substr(1));
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = trimmed(line.substr(0, colon));
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (key == "Element.symbol") {
      header.element = value;
    } else if (key == "Element.edge") {
      header.edge = value;
    } else if (key.starts_with("Column.")) {
      const std::string_view digits = key.substr(7);
      std::size_t n = 0;
      const auto res = std::from_chars(digits.data(), digits.data() + digits.size(), n);
      if (res.ec != std::errc() || res.ptr != digits.data() + digits.size() || n == 0 ||
          n > kMaxXdiColumns)
        continue;
      if (header.columns.size() < n) header.columns.resize(n);
      header.columns[n - 1] = value;
    }
  }
  return header;
}

std::optional<ColumnChoice> propose_xdi_columns(const std::vector<std::string>& names) {
  std::vector<std::string> words;
  for (const std::string& n : names) words.push_back(first_word_lower(n));
  const auto find = [&](auto matches) -> std::optional<std::size_t> {
    for (std::size_t i = 0; i < words.size(); ++i)
      if (matches(words[i])) return i;
    return std::nullopt;
  };
  const auto named = [&](const char* w) { return find([w](const std::string& s) { return s == w; }); };
  const auto energy = find([](const std::string& s) { return s == "energy" || s == "e"; });
  if (!energy) return std::nullopt;
  ColumnChoice choice;
  choice.energy = *energy;
  if (const auto norm = find([](const std::string& s) { return s.starts_with("norm"); })) {
    choice.intensities.push_back({.a = *norm});
  } else if (const auto mu = find([](const std::string& s) { return s.starts_with("mu"); })) {
    choice.intensities.push_back({.a = *mu});
  } else if (const auto i0 = named("i0"), it = named("itrans"); i0 && it) {
    choice.intensities.push_back({IntensityColumns::log_ratio, *i0, *it});
  } else if (const auto f = named("ifluor"); i0 && f) {
    choice.intensities.push_back({IntensityColumns::ratio, *f, *i0});
  } else {
    return std::nullopt;
  }
  return choice;
}

std::string xdi_hint(const XdiHeader& header) {
  if (header.element.empty() && header.edge.empty()) return {};
  std::string hint = "XDI: " + header.element;
  if (!header.edge.empty()) hint += (header.element.empty() ? "" : " ") + header.edge;
  return hint;
}

std::string xdi_absorber(const XdiHeader& header) {
  if (header.element.empty() || header.edge.empty()) return {};
  return header.element + " " + header.edge;
}

}  // namespace talvern
