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

namespace {

double through_g6_text(double value) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
  double back = 0;
  std::from_chars(buf, res.ptr, back, std::chars_format::general);
  return back;
}

}  // namespace

double through_g6(double value) {
  if (value == 0 || !std::isfinite(value)) return value;
  const double a = std::fabs(value);
  // Decimal exponent e with 10^e <= a < 10^(e+1). Comparing with the double
  // nearest to a power of ten decides correctly: no double lies between a
  // power of ten and its nearest double.
  int e = static_cast<int>(std::floor(std::log10(a)));
  if (e < -16 || e > 21) return through_g6_text(value);
  auto pow10 = [](int k) { return k >= 0 ? kExactPow10[k] : 1.0 / kExactPow10[-k]; };
  if (a < pow10(e)) --e;
  else if (a >= pow10(e + 1)) ++e;
  if (e < -16 || e > 21) return through_g6_text(value);
  // The six digits: t = a * 10^(5-e) in [1e5, 1e6), with one rounding.
  const int shift = 5 - e;
  const double t = shift >= 0 ? a * kExactPow10[shift] : a / kExactPow10[-shift];
  const double below = std::floor(t);
  const double frac = t - below;
  // Near a halfway point the rounding of t could decide wrongly: ask the text.
  if (std::fabs(frac - 0.5) < 1e-6 || t < 1e5 || t >= 1e6) return through_g6_text(value);
  const double digits = frac < 0.5 ? below : below + 1;
  // digits and the power are exact, so one division or product rounds the
  // decimal value correctly, as reading its text does.
  const double back = shift >= 0 ? digits / kExactPow10[shift] : digits * kExactPow10[-shift];
  return value < 0 ? -back : back;
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
