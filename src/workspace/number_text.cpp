#include "workspace/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace talvern {

double strtod_c(const char* text, char** end) {
  // The user's locale may use a decimal comma; files and edit boxes never do.
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
  return strtod_l(text, end, c_locale);
}

void append_g6(std::string& out, double value) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
  out.append(buf, res.ptr);
}

std::string format_g6(double value) {
  std::string s;
  append_g6(s, value);
  return s;
}

void append_int(std::string& out, long value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

std::string format_edit(double value, int digits) {
  if (digits < 1) digits = 1;
  if (!std::isfinite(value)) return value != value ? "nan" : (value > 0 ? "inf" : "-inf");
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
  std::string s(buf, res.ptr);
  // A whole mantissa keeps its decimal point: "7114.", "1.e-05".
  if (s.find('.') == std::string::npos) {
    const auto e = s.find('e');
    s.insert(e == std::string::npos ? s.size() : e, 1, '.');
  }
  return s;
}

double parse_edit(std::string_view text) {
  // Same acceptance as the C library's atof: leading blanks, optional sign,
  // digits with an optional point, optional exponent.
  std::string buf(text);
  const char* p = buf.c_str();
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
  // Only decimal text: no hexadecimal, no "inf" or "nan".
  const char* q = p;
  if (*q == '+' || *q == '-') ++q;
  if (!((*q >= '0' && *q <= '9') || (*q == '.' && q[1] >= '0' && q[1] <= '9'))) return 0.0;
  if (q[0] == '0' && (q[1] == 'x' || q[1] == 'X')) return 0.0;
  char* end = nullptr;
  double v = strtod_c(p, &end);
  if (end == p || !std::isfinite(v)) return 0.0;
  return v;
}

}  // namespace talvern
