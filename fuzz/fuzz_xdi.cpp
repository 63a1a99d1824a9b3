// XDI files: the header read for the column names and the absorber, the
// proposal made of the names, and a load that takes the proposal as the
// shell does without --columns.

#include "fuzz_input.h"
#include "workspace/columns.h"
#include "workspace/user_file.h"
#include "workspace/xdi.h"

using namespace talvern;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Every input is an XDI file: the version line, then the input.
  const std::string text = "# XDI/1.0\n" + std::string(fuzz::as_text(data, size));
  FUZZ_CHECK(is_xdi(text));
  const XdiHeader header = read_xdi_header(text);
  const std::string hint = xdi_hint(header);
  FUZZ_CHECK(hint.empty() || hint.rfind("XDI: ", 0) == 0);

  const TextLayout layout = sniff_columns(text);
  // Names never outnumber the columns; a proposal names columns that exist.
  FUZZ_CHECK(layout.names.size() <= layout.columns);
  if (layout.proposal) {
    FUZZ_CHECK(layout.proposal->energy < layout.columns);
    FUZZ_CHECK(layout.proposal->intensities.size() == 1);
    for (const IntensityColumns& i : layout.proposal->intensities)
      FUZZ_CHECK(i.a < layout.columns && i.b < layout.columns);
  }

  const auto file = fuzz::scratch_file("user.xdi", text);
  const UserFiles chooser([&](const FileRequest&) { return std::optional(file); });
  RowsRead rows;
  std::optional<OpenFailure> failure;
  std::string message, after;
  if (read_chosen_file(chooser, {FileRequest(FileKind::data, "Load"), 2}, rows, failure, message,
                       after)) {
    FUZZ_CHECK(rows.k == 2 && rows.values.size() >= 2 * rows.rows);
    FUZZ_CHECK(all_finite(rows.values.data(), 2 * rows.rows));
  } else {
    FUZZ_CHECK(message.empty() || message.rfind("ERROR!!", 0) == 0);
  }
  return 0;
}
