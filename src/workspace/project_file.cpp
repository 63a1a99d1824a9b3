#include "workspace/project_file.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "workspace/file_names.h"
#include "workspace/number_text.h"

namespace talvern {

namespace {

std::string refusal(const std::string& file, const std::string& why) {
  return "ERROR!!\r\n" + file + "\r\nis not a project file: " + why +
         ".\r\nNothing was introduced into \r\n" TALVERN_WORK_SPACE_NAME ".";
}

bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool ident_start(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool ident_char(char c) { return ident_start(c) || (c >= '0' && c <= '9'); }
bool number_char(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
}

bool to_number(std::string_view text, double& v) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  return res.ec == std::errc() && res.ptr == text.data() + text.size() && std::isfinite(v);
}

// One statement: `$name = item;`, `@name = (item, ...);` (also `%name`,
// and "=>" between items) or a bare number (`1;`). Items are single-quoted
// strings, numbers or `undef`.
struct Statement {
  char sigil = 0;  // 0: a bare number
  std::string name;
  std::vector<std::string> items;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : t_(text) {}

  // False at the end of the text; `error` set when what follows is not a statement.
  bool next(Statement& s, std::string& error) {
    skip();
    if (i_ == t_.size()) return false;
    s = Statement{};
    if (number_char(t_[i_])) {
      std::string n;
      if (!bare(n)) return fail(error);
    } else {
      s.sigil = t_[i_];
      if (s.sigil != '$' && s.sigil != '@' && s.sigil != '%') return fail(error);
      ++i_;
      const std::size_t start = i_;
      if (i_ == t_.size() || !ident_start(t_[i_])) return fail(error);
      while (i_ < t_.size() && ident_char(t_[i_])) ++i_;
      s.name = t_.substr(start, i_ - start);
      if (!expect('=')) return fail(error);
      skip();
      if (i_ < t_.size() && t_[i_] == '(') {
        ++i_;
        skip();
        while (i_ < t_.size() && t_[i_] != ')') {
          if (s.items.size() == kProjectListCap) {
            error = "line " + std::to_string(line()) + " holds a list of more than " +
                    std::to_string(kProjectListCap) + " values";
            return false;
          }
          s.items.emplace_back();
          if (!item(s.items.back())) return fail(error);
          skip();
          if (i_ < t_.size() && t_[i_] == ',') {
            ++i_;
          } else if (t_.substr(i_, 2) == "=>") {
            i_ += 2;
          } else if (i_ < t_.size() && t_[i_] != ')') {
            return fail(error);
          }
          skip();
        }
        if (!expect(')')) return fail(error);
      } else {
        s.items.emplace_back();
        if (!item(s.items.back())) return fail(error);
      }
    }
    if (!expect(';')) return fail(error);
    return true;
  }

  std::size_t line() const {
    return 1 + static_cast<std::size_t>(std::count(t_.begin(), t_.begin() + static_cast<std::ptrdiff_t>(i_), '\n'));
  }

 private:
  bool fail(std::string& error) {
    error = "line " + std::to_string(line()) +
            " holds something other than a quoted string,\r\na number or a list of them";
    return false;
  }
  // White space and comments.
  void skip() {
    while (i_ < t_.size()) {
      if (space(t_[i_])) {
        ++i_;
      } else if (t_[i_] == '#') {
        while (i_ < t_.size() && t_[i_] != '\n') ++i_;
      } else {
        break;
      }
    }
  }
  bool expect(char c) {
    skip();
    if (i_ == t_.size() || t_[i_] != c) return false;
    ++i_;
    return true;
  }
  // A number written without quotes.
  bool bare(std::string& out) {
    const std::size_t start = i_;
    while (i_ < t_.size() && number_char(t_[i_])) ++i_;
    out = t_.substr(start, i_ - start);
    double v;
    return to_number(out, v);
  }
  bool item(std::string& out) {
    if (i_ == t_.size()) return false;
    if (t_[i_] == '\'') {
      for (++i_; i_ < t_.size(); ++i_) {
        if (t_[i_] == '\'') {
          ++i_;
          return true;
        }
        if (t_[i_] == '\\' && i_ + 1 < t_.size() && (t_[i_ + 1] == '\\' || t_[i_ + 1] == '\'')) ++i_;
        out += t_[i_];
      }
      return false;  // the quote is never closed
    }
    if (t_.substr(i_, 5) == "undef" && (i_ + 5 == t_.size() || !ident_char(t_[i_ + 5]))) {
      i_ += 5;
      return true;
    }
    return bare(out);
  }

  std::string_view t_;
  std::size_t i_ = 0;
};

}  // namespace

bool is_gzip(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
         static_cast<unsigned char>(bytes[1]) == 0x8b;
}

bool is_gzip_file(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char head[2];
  const std::size_t n = std::fread(head, 1, 2, f);
  std::fclose(f);
  return is_gzip(std::string_view(head, n));
}

ProjectFile read_project(std::string_view bytes, const std::string& file) {
  ProjectFile out;
  z_stream zs{};
  if (inflateInit2(&zs, 15 + 32) != Z_OK) {
    out.error = refusal(file, "it cannot be uncompressed");
    return out;
  }
  std::string text;
  std::vector<char> buf(1 << 16);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  zs.avail_in = static_cast<uInt>(std::min<std::size_t>(bytes.size(), 0xffffffffu));
  int ret = Z_OK;
  while (ret != Z_STREAM_END) {
    zs.next_out = reinterpret_cast<Bytef*>(buf.data());
    zs.avail_out = static_cast<uInt>(buf.size());
    ret = inflate(&zs, Z_NO_FLUSH);
    if (ret != Z_OK && ret != Z_STREAM_END) break;
    text.append(buf.data(), buf.size() - zs.avail_out);
    if (text.size() > kProjectTextCap) break;
    if (ret == Z_OK && zs.avail_in == 0 && zs.avail_out != 0) break;  // the input ends early
  }
  inflateEnd(&zs);
  if (text.size() > kProjectTextCap)
    out.error = refusal(file, "it uncompresses to more than " +
                                  std::to_string(kProjectTextCap >> 20) + " MB");
  else if (ret != Z_STREAM_END)
    out.error = refusal(file, "its gzip data are damaged or cut short");
  if (!out.error.empty()) return out;
  return parse_project(text, file);
}

ProjectFile parse_project(std::string_view text, const std::string& file) {
  ProjectFile out;
  Parser parser(text);
  Statement s;
  std::string error;
  const auto numbers = [&](std::vector<double>& values) {
    values.resize(s.items.size());
    for (std::size_t k = 0; k < s.items.size(); ++k)
      if (!to_number(s.items[k], values[k])) {
        error = "@" + s.name + " of group '" + out.groups.back().name +
                "' holds a value that is not a finite number";
        return false;
      }
    return true;
  };
  while (parser.next(s, error)) {
    if (s.sigil == '$' && s.name == "old_group") {
      if (out.groups.size() == kProjectGroupCap) {
        error = "it holds more than " + std::to_string(kProjectGroupCap) + " groups";
        break;
      }
      const std::string name = s.items.empty() ? std::string() : s.items[0];
      out.groups.push_back({name, name, {}, {}});
      continue;
    }
    if (out.groups.empty() || s.sigil != '@') continue;
    ProjectGroup& g = out.groups.back();
    if (s.name == "args") {
      for (std::size_t k = 0; k + 1 < s.items.size(); k += 2)
        if (s.items[k] == "label" && !s.items[k + 1].empty()) g.label = s.items[k + 1];
    } else if ((s.name == "x" && !numbers(g.x)) || (s.name == "y" && !numbers(g.y))) {
      break;
    }
  }
  if (error.empty() && out.groups.empty()) error = "it holds no $old_group";
  for (const ProjectGroup& g : out.groups)
    if (error.empty() && g.x.size() != g.y.size())
      error = "group '" + g.name + "' has " + std::to_string(g.x.size()) + " values of @x and " +
              std::to_string(g.y.size()) + " of @y";
  // A label is one line of the group list.
  for (ProjectGroup& g : out.groups)
    std::replace_if(g.label.begin(), g.label.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
  if (!error.empty()) {
    out.groups.clear();
    out.error = refusal(file, error);
  }
  return out;
}

std::string group_list(const std::vector<ProjectGroup>& groups) {
  std::string text;
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const ProjectGroup& g = groups[i];
    text += "\r\n#" + std::to_string(i + 1) + " \"" + g.label + "\": " + std::to_string(g.x.size()) +
            (g.x.size() == 1 ? " point" : " points");
    if (!g.x.empty()) {
      const auto [lo, hi] = std::minmax_element(g.x.begin(), g.x.end());
      text += ", " + format_g6(*lo) + " to " + format_g6(*hi) + " eV";
    }
  }
  return text;
}

std::optional<std::vector<std::size_t>> resolve_groups(const std::vector<ProjectGroup>& groups,
                                                       const std::vector<std::string>& wanted,
                                                       std::string& error) {
  std::vector<std::size_t> chosen;
  for (const std::string& w : wanted) {
    std::size_t n = 0;
    if (w.size() > 1 && w[0] == '#') {
      const auto res = std::from_chars(w.data() + 1, w.data() + w.size(), n);
      if (res.ec == std::errc() && res.ptr == w.data() + w.size() && n >= 1 && n <= groups.size()) {
        chosen.push_back(n - 1);
        continue;
      }
    }
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < groups.size(); ++i)
      if (groups[i].label == w) found.push_back(i);
    if (found.size() == 1) {
      chosen.push_back(found[0]);
      continue;
    }
    error = found.empty() ? "No group of the project file is \"" + w + "\""
                          : "The label \"" + w + "\" is not unique in the project file";
    return std::nullopt;
  }
  return chosen;
}

RowsRead group_rows(const ProjectGroup& group, std::size_t capacity) {
  RowsRead rows;
  rows.k = 2;
  rows.opened = true;
  rows.rows = std::min(group.x.size(), capacity);
  rows.capped = group.x.size() > capacity;
  rows.values.resize(2 * rows.rows);
  for (std::size_t i = 0; i < rows.rows; ++i) {
    rows.values[2 * i] = group.x[i];
    rows.values[2 * i + 1] = group.y[i];
  }
  return rows;
}

std::string group_name(const std::vector<ProjectGroup>& groups, std::size_t i) {
  const auto same = std::count_if(groups.begin(), groups.end(),
                                  [&](const ProjectGroup& g) { return g.label == groups[i].label; });
  if (same == 1 && !groups[i].label.empty() && groups[i].label[0] != '#') return groups[i].label;
  return "#" + std::to_string(i + 1);
}

}  // namespace talvern
