#pragma once
// Number texts: the six-digit file format, the edit-box format and the
// lenient reading of edit-box text.

#include <string>
#include <string_view>

namespace talvern {

// The white space that separates the values of a file (as isspace in the
// "C" locale).
inline bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Powers of ten that a double holds exactly: 1e0 ... 1e22.
inline constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// strtod in the "C" locale, whatever locale the program runs in.
double strtod_c(const char* text, char** end);

// Appends `value` in "%g" notation with six significant digits
// (7120 -> "7120", 0.1 -> "0.1", 7.9e-09 -> "7.9e-09").
void append_g6(std::string& out, double value);
std::string format_g6(double value);

// The value a six-digit file gives back for `value`: what reading
// format_g6(value) yields. Fast for ordinary magnitudes, and identical to
// the text round trip everywhere (values that are not finite pass through).
double through_g6(double value);

// Appends a plain integer ("7000").
void append_int(std::string& out, long value);

// Edit-box notation: general notation with `digits` significant digits,
// trailing zeros dropped, but a whole mantissa keeps its decimal point
// (7114 with five digits -> "7114.", 0.5 -> "0.5", 1e-05 -> "1.e-05").
std::string format_edit(double value, int digits);

// Reads the leading decimal number of an edit-box text; 0 when the text
// does not start with one (leading white space is skipped).
double parse_edit(std::string_view text);

}  // namespace talvern
