// User files: read_chosen_file as each load and import calls it, through a
// chooser that returns a file holding the input, with and without the
// column import; and the column sniffing and conversion on their own.
// The first byte picks the reader and the import; the rest is the file.

#include <algorithm>
#include <cmath>

#include "fuzz_input.h"
#include "workspace/columns.h"
#include "workspace/user_file.h"

using namespace talvern;

namespace {

// The readers of the loads and imports: k, capacity, header words.
struct Reader {
  std::size_t k, capacity, skip_words;
};
constexpr Reader kReaders[] = {
    {2, kRowCapacity, 0},  // Load Exp. RIXS / Conventional XAFS / XRF
    {2, 4000, 0},          // Comp. Another RIXS
    {2, kRowCapacity, 4},  // the WIEN2k imports (header words)
    {3, kRowCapacity, 0},  // General X-Y1-Y2
};

// A column choice made from the layout, as a user might: energy in the
// first column, each intensity a column, a ratio or a log ratio.
ColumnChoice choose_columns(const TextLayout& layout, std::size_t k, std::uint8_t how) {
  ColumnChoice choice;
  const std::size_t cols = layout.columns ? layout.columns : 1;
  choice.energy = how % cols;
  choice.kev = how & 0x40;
  choice.skip_headers = !(how & 0x80);
  for (std::size_t i = 1; i < k; ++i) {
    IntensityColumns c;
    c.mode = static_cast<IntensityColumns::Mode>((how >> (2 * i)) % 3);
    c.a = (choice.energy + i) % cols;
    c.b = (choice.energy + i + 1) % cols;
    choice.intensities.push_back(c);
  }
  return choice;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t how = data[0];
  const std::string_view text = fuzz::as_text(data + 1, size - 1);
  const auto file = fuzz::scratch_file("user.dat", text);
  const Reader& reader = kReaders[how % 4];

  // Sniffing and conversion on their own.
  const TextLayout layout = sniff_columns(text);
  // A text of white space alone has no columns.
  FUZZ_CHECK(layout.columns == 0 || text.find_first_not_of(" \t\n\r\v\f") != text.npos);
  for (std::size_t c = 0; c < layout.columns && c < 8; ++c) {
    FUZZ_CHECK(!column_label(layout, c).empty());
    (void)column_below(text, layout, c, 100.0);
  }
  (void)first_lines(text, 12);
  const ColumnChoice choice = choose_columns(layout, reader.k, how);
  const ConvertedText conv = convert_columns(text, layout, choice);
  // Converting no further than a capacity gives the start of the rows, and
  // the row past it.
  const ConvertedText few = convert_columns(text, layout, choice, 2);
  FUZZ_CHECK(few.rows <= 3);
  if (conv.error.empty())
    FUZZ_CHECK(few.error.empty() && few.rows == std::min<std::size_t>(conv.rows, 3) &&
               conv.plain.starts_with(few.plain));
  if (conv.error.empty()) {
    const RowsRead plain = parse_rows(conv.plain, reader.k, reader.capacity);
    FUZZ_CHECK(!plain.bad_token);
    FUZZ_CHECK(all_finite(plain.values.data(), plain.rows * reader.k));
    // Rows left out leave at least one row and are said.
    FUZZ_CHECK(conv.left_out == 0 || (!conv.plain.empty() && conv.first_left > 0 &&
                                       conv.caution().rfind("CAUTION!!", 0) == 0));
  } else {
    FUZZ_CHECK(conv.error.rfind("ERROR!!", 0) == 0);
  }
  // The shell form of a choice reads back as the same choice.
  std::string error;
  if (const auto parsed = parse_column_choice(text.substr(0, 64), error)) {
    const auto again = parse_column_choice(column_choice_text(*parsed), error);
    FUZZ_CHECK(again && again->energy == parsed->energy &&
               again->intensities == parsed->intensities);
    (void)describe_columns(*parsed);
  }

  // The load itself, with no column import, one for files that are not
  // plain rows, or one for every file.
  const int import = (how >> 2) % 3;
  const ColumnImporter importer(
      import == 0 ? ColumnImporter()
                  : ColumnImporter([&](const ColumnRequest& r) -> std::optional<ColumnChoice> {
                      if (how & 0x20) return std::nullopt;  // the user cancels
                      return choose_columns(r.layout, r.k, how);
                    }));
  const UserFiles chooser([&](const FileRequest&) { return std::optional(file); }, importer,
                          import == 2);
  RowsRead rows;
  std::optional<OpenFailure> failure;
  std::string message, after;
  const bool go_on = read_chosen_file(
      chooser, {FileRequest(FileKind::data, "Load"), reader.k, reader.capacity, reader.skip_words},
      rows, failure, message, after);
  FUZZ_CHECK(!failure);
  if (go_on) {
    FUZZ_CHECK(rows.k == reader.k && rows.rows <= reader.capacity);
    FUZZ_CHECK(rows.values.size() >= rows.rows * reader.k);
  } else {
    FUZZ_CHECK(message.empty() || message.rfind("ERROR!!", 0) == 0);
  }
  return 0;
}
