// Project files: the parser on the input as inflated text, and the reader
// on the input as gzip bytes; what they keep is finite and paired, what
// they refuse is said.

#include <cmath>

#include "fuzz_input.h"
#include "workspace/project_file.h"

using namespace talvern;

namespace {

void check(const ProjectFile& p) {
  FUZZ_CHECK(p.groups.empty() == !p.error.empty());
  if (!p.error.empty()) {
    FUZZ_CHECK(p.error.rfind("ERROR!!", 0) == 0);
    return;
  }
  FUZZ_CHECK(p.groups.size() <= kProjectGroupCap);
  for (const ProjectGroup& g : p.groups) {
    FUZZ_CHECK(g.x.size() == g.y.size() && g.x.size() <= kProjectListCap);
    for (char c : g.label) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
    for (std::size_t i = 0; i < g.x.size(); ++i)
      FUZZ_CHECK(std::isfinite(g.x[i]) && std::isfinite(g.y[i]));
  }
  const std::string list = group_list(p.groups);
  std::size_t lines = 0;
  for (std::size_t at = list.find("\r\n#"); at != std::string::npos; at = list.find("\r\n#", at + 1))
    ++lines;
  FUZZ_CHECK(lines >= p.groups.size());
  // "#N" always chooses group N; the history's name for a group chooses it again.
  std::string error;
  const auto first = resolve_groups(p.groups, {"#1", group_name(p.groups, 0)}, error);
  FUZZ_CHECK(first && first->size() == 2 && (*first)[0] == 0 && (*first)[1] == 0);
  const RowsRead rows = group_rows(p.groups[0], 100);
  FUZZ_CHECK(rows.rows <= 100 && rows.values.size() == 2 * rows.rows);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz::as_text(data, size);
  check(parse_project(bytes, "p.prj"));
  check(read_project(bytes, "p.prj"));
  return 0;
}
