#include "import/import_sheet.h"

#include "command/usage.h"
#include "workspace/file_names.h"

namespace talvern {
namespace {

// An import of one file into the selective XAFS as read.
const Touches kImport{.writes = {files::kSelectiveReadingOrg}, .yours = Touches::Yours::read};

}  // namespace

Sheet<XAFSReadingState>& import_sheet() {
  using S = XAFSReadingState;
  static Sheet<S> sheet{
      .open = [](const WorkSpace&) { return initial_xafs_reading_state(); },
      .commands = {
          {"Load 1-Compo. WIEN2k ", "import-wien2k", kFileUsage,
           "one-component WIEN2k selective XAFS (\"Load 1-Compo. WIEN2k\")",
           sheet::run<S>(Load1CompoWIEN2k), kImport},
          {"Load 2-Compo. WIEN2k (1/2)", "import-wien2k-first", kFileUsage,
           "first of two WIEN2k components (\"Load 2-Compo. WIEN2k (1/2)\")",
           sheet::run<S>(LoadTwoCompoFirst),
           {.writes = {files::kSelectiveReadingOrg21}, .yours = Touches::Yours::read}},
          {"Load 2-Compo. WIEN2k (2/2)", "import-wien2k-second", kFileUsage,
           "second of two WIEN2k components (\"Load 2-Compo. WIEN2k (2/2)\")",
           sheet::run<S>(LoadTwoCompoSecond),
           {.reads = {files::kSelectiveReadingOrg21},
            .writes = {files::kSelectiveReadingOrgTmp, files::kSelectiveReadingOrg},
            .yours = Touches::Yours::read}},
          {"Load General X-Y1-Y2 Data", "import-general", kFileUsage,
           "general X-Y1-Y2 selective XAFS (\"Load General X-Y1-Y2 Data\")",
           sheet::run<S>(LoadGeneral), kImport},
      }};
  return sheet;
}

}  // namespace talvern
