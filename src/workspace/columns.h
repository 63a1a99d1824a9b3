#pragma once
// Column import: measured files as beamlines write them (header lines,
// many columns, commas, energies in keV) turned into the plain rows a load
// reads, energy first and then each intensity.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvern {

enum class Separator { white_space, comma, semicolon };

// One intensity of a converted row.
struct IntensityColumns {
  enum Mode { column, ratio, log_ratio } mode = column;  // a, a/b or ln(a/b)
  std::size_t a = 1, b = 0;                              // 0-based columns
  bool operator==(const IntensityColumns&) const = default;
};

// Which columns make a row: energy (eV, or keV to be multiplied by 1000)
// and the intensities.
struct ColumnChoice {
  std::size_t energy = 0;  // 0-based
  bool kev = false;
  std::vector<IntensityColumns> intensities;
  bool skip_headers = true;  // comment and header lines are passed over
  bool operator==(const ColumnChoice&) const = default;
};

// What a look at the text finds.
struct TextLayout {
  std::size_t header_lines = 0;    // lines before the first line of numbers only
  Separator separator = Separator::white_space;
  std::size_t columns = 0;         // values in the first line of numbers; 0 when there is none
  std::vector<std::string> names;  // from the last header line when it names every column,
                                   // or from the Column.N lines of an XDI file
  std::optional<ColumnChoice> proposal;  // energy and intensity an XDI file's names propose
};

// Comment lines start with '#', '!', ';' or '%'; before the data every
// other line is a header line as well. The data start at the first line
// whose every field the C library reads whole as a number (strtod: "nan",
// "inf", "1e999" and "0x1p3" included), so that no line of numbers is
// taken for a header, whatever its values.
TextLayout sniff_columns(std::string_view text);

// The first `n` lines of the text, for a preview.
std::vector<std::string> first_lines(std::string_view text, std::size_t n);

// Name of a column (0-based) as the user sees it: "c4" and, when the
// header names it, "c4 I0".
std::string column_label(const TextLayout& layout, std::size_t col);

// True when every value of column `col` (0-based) in the data is below
// `limit` (energies in keV rather than eV).
bool column_below(std::string_view text, const TextLayout& layout, std::size_t col, double limit);

// Parses the shell form "1,ln(4/5)", "1,3/2", "1,2,3" (1-based columns,
// energy first). nullopt with `error` set when the text is not one.
std::optional<ColumnChoice> parse_column_choice(std::string_view text, std::string& error);

// The shell form of a choice ("1,ln(4/5)").
std::string column_choice_text(const ColumnChoice& choice);

// The line a load adds after its message:
// "Columns: energy = c1 (keV -> eV), intensity = ln(c4/c5)".
std::string describe_columns(const ColumnChoice& choice);

// Converted rows as a plain file of numbers (every value exact, one row a
// line, each line ended by a line break); or `error` set to an "ERROR!!"
// text naming the line that cannot be converted. A row whose ratio has no
// value (B at 0 or below, or A/B at 0 or below under ln) is left out and
// counted; a file left with no row at all is refused. The conversion stops
// after the row that follows `capacity` rows: a reader that takes
// `capacity` rows sees that the file holds more, and nothing after it is
// looked at.
struct ConvertedText {
  std::string plain;
  std::string error;
  std::size_t error_line = 0;  // the line `error` names; 0 for none, or a file left with no row
  std::size_t rows = 0;        // rows converted
  std::size_t left_out = 0;    // rows without a value of their ratio
  std::size_t first_left = 0;  // the line of the first of them (1-based)
  // The caution a load adds after its message when rows were left out;
  // "" when none were.
  std::string caution() const;
};
ConvertedText convert_columns(std::string_view text, const TextLayout& layout,
                              const ColumnChoice& choice,
                              std::size_t capacity = static_cast<std::size_t>(-1));

}  // namespace talvern
