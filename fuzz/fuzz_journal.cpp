// The journal of files replaced as a whole (.talvern-journal), read by
// recover_work_space in a scratch work-space that holds a staging folder, a
// file the journal may name, a file of the user's, and a file beside the
// work-space: whatever the journal says, nothing outside the work-space and
// no file of the user's is touched, and it is settled or refused.

#include <filesystem>

#include "fuzz_input.h"
#include "workspace/journal.h"
#include "workspace/row_io.h"
#include "workspace/workspace.h"

using namespace talvern;

namespace {

namespace fs = std::filesystem;

void put(const fs::path& file, std::string_view text) {
  if (write_text_atomic(file, text) != WriteStatus::ok) fuzz::fail("cannot write the scratch files");
}

std::string text_of(const fs::path& file) {
  std::string text;
  return read_text(file, text) ? text : "(gone)";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path root = fuzz::scratch_dir() / "journal";
  std::error_code ec;
  fs::remove_all(root, ec);
  const WorkSpace ws(root / "ws");
  const fs::path staging = ws.dir() / ".talvern-staging.Ab3Cd4";
  fs::create_directories(staging / "replaced", ec);
  put(ws.file("RIXSEXP.DAT"), "7000\t1\n");
  put(staging / "RIXSEXP.DAT", "7000\t2\n");
  put(ws.file("notes.txt"), "mine");
  put(root / "RIXSEXP.DAT", "beside");
  put(ws.file(".talvern-journal"), fuzz::as_text(data, size));

  const WorkSpaceRecovery r = recover_work_space(ws);
  FUZZ_CHECK(text_of(root / "RIXSEXP.DAT") == "beside");
  FUZZ_CHECK(text_of(ws.file("notes.txt")) == "mine");
  // Settled (the journal gone), or refused with an ERROR and the journal kept.
  FUZZ_CHECK(r.blocked == journal_pending(ws));
  FUZZ_CHECK(!r.blocked || (!r.lines.empty() && r.lines.back().starts_with("ERROR!!")));
  for (const std::string& line : r.lines)
    FUZZ_CHECK(line.starts_with("CAUTION!!") || line.starts_with("ERROR!!"));
  // A file the journal names is the old one, the new one, or gone; never another.
  const std::string exp = text_of(ws.file("RIXSEXP.DAT"));
  FUZZ_CHECK(exp == "7000\t1\n" || exp == "7000\t2\n" || exp == "(gone)");
  return 0;
}
