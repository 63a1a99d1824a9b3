#include "workspace/columns.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/number_text.h"
#include "workspace/row_io.h"
#include "workspace/xdi.h"

namespace talvern {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

bool is_comment_char(char c) { return c == '#' || c == '!' || c == ';' || c == '%'; }

bool is_comment(std::string_view line) {
  line = trim(line);
  return !line.empty() && is_comment_char(line[0]);
}

// Calls f(line, 1-based number) for every line of the text.
template <class F>
void for_each_line(std::string_view text, F f) {
  std::size_t number = 1;
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    const std::string_view line = text.substr(0, nl);
    if (!f(line, number++)) return;
    if (nl == std::string_view::npos) return;
    text.remove_prefix(nl + 1);
  }
}

// The fields of a line; a separator at the end of the line closes the
// last field and opens none.
std::vector<std::string_view> split(std::string_view line, Separator sep) {
  std::vector<std::string_view> fields;
  if (sep == Separator::white_space) {
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && is_blank(line[i])) ++i;
      const std::size_t start = i;
      while (i < line.size() && !is_blank(line[i])) ++i;
      if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
  }
  const char c = sep == Separator::comma ? ',' : ';';
  line = trim(line);
  while (!line.empty()) {
    const std::size_t at = line.find(c);
    fields.push_back(trim(line.substr(0, at)));
    if (at == std::string_view::npos) break;
    line.remove_prefix(at + 1);
  }
  return fields;
}

// A field that is one number and nothing else, read as the plain loads read it.
bool number_field(std::string_view field, double& value) {
  NumberScanner s(field);
  double rest;
  return s.next(value) && !s.next(rest) && !s.bad_token();
}

// A field the C library reads whole as a number (strtod, which takes
// "nan", "inf", "1e999" and "0x1p3" as well); `finite` tells whether its
// value is a finite number.
bool c_number_field(std::string_view field, std::string& buffer, bool& finite) {
  if (field.empty()) return false;
  buffer.assign(field);
  char* end = nullptr;
  const double v = strtod_c(buffer.c_str(), &end);
  finite = std::isfinite(v);
  return end == buffer.c_str() + buffer.size();
}

Separator separator_of(std::string_view line) {
  if (line.find(';') != std::string_view::npos) return Separator::semicolon;
  if (line.find(',') != std::string_view::npos) return Separator::comma;
  return Separator::white_space;
}

// The values of a line of numbers only; false when a field is not one.
bool numbers(std::string_view line, Separator sep, std::vector<double>& out) {
  out.clear();
  for (std::string_view f : split(line, sep)) {
    double v;
    if (!number_field(f, v)) return false;
    out.push_back(v);
  }
  return !out.empty();
}

// A line of data: every field read whole by the C library; `count` takes
// the number of fields and `finite` whether every value is a finite number.
bool data_line(std::string_view line, Separator sep, std::size_t& count, bool& finite) {
  std::string buffer;
  count = 0;
  finite = true;
  for (std::string_view f : split(line, sep)) {
    bool this_finite = true;
    if (!c_number_field(f, buffer, this_finite)) return false;
    finite = finite && this_finite;
    ++count;
  }
  return count > 0;
}

std::string column_name(std::size_t col) {
  std::string name = "c";
  name += std::to_string(col + 1);
  return name;
}

std::string intensity_text(const IntensityColumns& i) {
  switch (i.mode) {
    case IntensityColumns::column: return column_name(i.a);
    case IntensityColumns::ratio: return column_name(i.a) + "/" + column_name(i.b);
    case IntensityColumns::log_ratio: return "ln(" + column_name(i.a) + "/" + column_name(i.b) + ")";
  }
  return {};
}

std::string with_line(const char* before, std::size_t line, const std::string& after) {
  return std::string(before) + std::to_string(line) + after;
}

std::string not_finite_value_message(std::size_t line) {
  return with_line("ERROR!!\r\nLine ", line,
                   " of the file gives a value that is not\r\na finite number (a ratio over 0 or "
                   "less, or the\r\nlogarithm of one). Nothing was introduced into \r\n"
                   TALVERN_WORK_SPACE_NAME ".");
}

std::string not_finite_line_message(std::size_t line) {
  return with_line("ERROR!!\r\nLine ", line,
                   " of the file holds a value that is not\r\na finite number (nan, inf, or beyond "
                   "the range\r\nof a double). Nothing was introduced into \r\n"
                   TALVERN_WORK_SPACE_NAME ".");
}

std::string no_row_left_message(std::size_t left_out, std::size_t first) {
  return "ERROR!!\r\nNo row of the file is left: in each of its " + std::to_string(left_out) +
         " rows\r\nthe ratio has no value (B at 0 or below, or A/B at 0\r\nor below under ln; "
         "the first is line " + std::to_string(first) + "). Nothing was\r\nintroduced into "
         TALVERN_WORK_SPACE_NAME ".";
}

// A 1-based column number of the shell form.
bool column_number(std::string_view text, std::size_t& col) {
  text = trim(text);
  std::size_t n = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), n);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size() || n == 0) return false;
  col = n - 1;
  return true;
}

}  // namespace

TextLayout sniff_columns(std::string_view text) {
  TextLayout layout;
  std::string_view last_header;
  for_each_line(text, [&](std::string_view line, std::size_t) {
    if (!is_comment(line) && !trim(line).empty()) {
      const Separator sep = separator_of(line);
      std::size_t count = 0;
      bool finite = true;
      if (data_line(line, sep, count, finite)) {
        layout.separator = sep;
        layout.columns = count;
        return false;
      }
    }
    if (!trim(line).empty()) last_header = line;
    ++layout.header_lines;
    return true;
  });
  // The last header line names the columns when it has a word for each.
  std::string_view names = trim(last_header);
  while (!names.empty() && is_comment_char(names[0])) names.remove_prefix(1);
  std::vector<std::string_view> words = split(names, layout.separator);
  if (layout.columns > 1 && words.size() == layout.columns)
    for (std::string_view w : words) layout.names.emplace_back(w);
  // An XDI file names its columns in its header instead.
  if (is_xdi(text)) {
    XdiHeader xdi = read_xdi_header(text);
    if (xdi.columns.size() > layout.columns) xdi.columns.resize(layout.columns);
    if (!xdi.columns.empty()) layout.names = std::move(xdi.columns);
    if (auto proposal = propose_xdi_columns(layout.names);
        proposal && proposal->energy < layout.columns)
      layout.proposal = proposal;
  }
  return layout;
}

std::vector<std::string> first_lines(std::string_view text, std::size_t n) {
  std::vector<std::string> lines;
  for_each_line(text, [&](std::string_view line, std::size_t) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    return lines.size() < n;
  });
  return lines;
}

std::string column_label(const TextLayout& layout, std::size_t col) {
  std::string label = column_name(col);
  if (col < layout.names.size()) label += " " + layout.names[col];
  return label;
}

bool column_below(std::string_view text, const TextLayout& layout, std::size_t col, double limit) {
  bool below = true, any = false;
  std::vector<double> values;
  for_each_line(text, [&](std::string_view line, std::size_t number) {
    if (number <= layout.header_lines || is_comment(line)) return true;
    if (numbers(line, layout.separator, values) && col < values.size()) {
      any = true;
      below = std::fabs(values[col]) < limit;
    }
    return below;
  });
  return any && below;
}

std::optional<ColumnChoice> parse_column_choice(std::string_view text, std::string& error) {
  ColumnChoice choice;
  std::vector<std::string_view> items;
  for (std::string_view rest = text;;) {
    const std::size_t comma = rest.find(',');
    items.push_back(trim(rest.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  error = "--columns takes the energy column and at least one intensity, such as 1,2 or 1,3/2 "
          "or 1,ln(4/5) (columns counted from 1), not \"" + std::string(text) + "\"";
  if (items.size() < 2 || !column_number(items[0], choice.energy)) return std::nullopt;
  for (std::size_t i = 1; i < items.size(); ++i) {
    std::string_view item = items[i];
    IntensityColumns in;
    if (item.starts_with("ln(") && item.ends_with(")")) {
      in.mode = IntensityColumns::log_ratio;
      item = item.substr(3, item.size() - 4);
    }
    const std::size_t slash = item.find('/');
    if (slash == std::string_view::npos) {
      if (in.mode == IntensityColumns::log_ratio || !column_number(item, in.a)) return std::nullopt;
    } else {
      if (in.mode == IntensityColumns::column) in.mode = IntensityColumns::ratio;
      if (!column_number(item.substr(0, slash), in.a) ||
          !column_number(item.substr(slash + 1), in.b))
        return std::nullopt;
    }
    choice.intensities.push_back(in);
  }
  error.clear();
  return choice;
}

std::string column_choice_text(const ColumnChoice& choice) {
  std::string text = std::to_string(choice.energy + 1);
  for (const IntensityColumns& i : choice.intensities) {
    const std::string a = std::to_string(i.a + 1), b = std::to_string(i.b + 1);
    text += ",";
    switch (i.mode) {
      case IntensityColumns::column: text += a; break;
      case IntensityColumns::ratio: text += a + "/" + b; break;
      case IntensityColumns::log_ratio: text += "ln(" + a + "/" + b + ")"; break;
    }
  }
  return text;
}

std::string describe_columns(const ColumnChoice& choice) {
  std::string text = "Columns: energy = " + column_name(choice.energy);
  if (choice.kev) text += " (keV -> eV)";
  text += choice.intensities.size() == 1 ? ", intensity = " : ", intensities = ";
  for (std::size_t i = 0; i < choice.intensities.size(); ++i)
    text += (i ? ", " : "") + intensity_text(choice.intensities[i]);
  return text;
}

ConvertedText convert_columns(std::string_view text, const TextLayout& layout,
                              const ColumnChoice& choice, std::size_t capacity) {
  ConvertedText out;
  std::vector<double> values, row;
  std::size_t highest = choice.energy;
  for (const IntensityColumns& i : choice.intensities)
    highest = std::max({highest, i.a, i.mode == IntensityColumns::column ? std::size_t{0} : i.b});
  char buf[32];
  auto put = [&](double v, char after) {
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.plain.append(buf, res.ptr);
    out.plain += after;
  };
  for_each_line(text, [&](std::string_view line, std::size_t number) {
    const bool header = number <= layout.header_lines || is_comment(line);
    if (trim(line).empty() || (header && choice.skip_headers)) return true;
    auto refuse = [&](std::string error) {
      out.error = std::move(error);
      out.error_line = number;
      return false;
    };
    if (header) return refuse(not_a_number_message(number));
    if (!numbers(line, layout.separator, values)) {
      // nan, inf or 1e999 are data, not text; they are said as such.
      std::size_t count = 0;
      bool finite = true;
      return refuse(data_line(line, layout.separator, count, finite) && !finite
                        ? not_finite_line_message(number)
                        : not_a_number_message(number));
    }
    if (values.size() != layout.columns || highest >= values.size())
      return refuse(wrong_width_message(number, values.size(),
                                        std::max(layout.columns, highest + 1)));
    const double energy = choice.kev ? values[choice.energy] * 1000.0 : values[choice.energy];
    row.clear();
    row.push_back(energy);
    for (const IntensityColumns& i : choice.intensities) {
      const double a = values[i.a];
      const double b = i.mode == IntensityColumns::column ? 1.0 : values[i.b];
      if (!(b > 0.0) || (i.mode == IntensityColumns::log_ratio && !(a / b > 0.0))) {
        if (out.left_out++ == 0) out.first_left = number;
        return true;
      }
      row.push_back(i.mode == IntensityColumns::column ? a
                 : i.mode == IntensityColumns::ratio ? a / b
                                                     : std::log(a / b));
    }
    const std::size_t n = row.size();
    if (!all_finite(row.data(), n)) return refuse(not_finite_value_message(number));
    for (std::size_t c = 0; c < n; ++c) put(row[c], c + 1 < n ? '\t' : '\n');
    return ++out.rows <= capacity;
  });
  if (out.error.empty() && out.plain.empty() && out.left_out > 0)
    out.error = no_row_left_message(out.left_out, out.first_left);
  if (!out.error.empty()) out.plain.clear();
  return out;
}

std::string ConvertedText::caution() const {
  if (left_out == 0) return {};
  return "CAUTION!! " + std::to_string(left_out) + (left_out == 1 ? " row was" : " rows were") +
         " left out, where the ratio has no value\r\n(B at 0 or below, or A/B at 0 or below under "
         "ln); the first is line " + std::to_string(first_left) + ".";
}

}  // namespace talvern
