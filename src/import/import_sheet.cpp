#include "import/import_sheet.h"

namespace talvern {
namespace {
constexpr const char* kColumnUsage = "FILE [--columns COLUMNS]\n[--kev] [--skip-headers]";
}  // namespace

Sheet<XAFSReadingState>& import_sheet() {
  using S = XAFSReadingState;
  static Sheet<S> sheet{
      .open = [](const WorkSpace&) { return initial_xafs_reading_state(); },
      .commands = {
          {"Load 1-Compo. WIEN2k ", "import-wien2k", kColumnUsage,
           "one-component WIEN2k selective XAFS (\"Load 1-Compo. WIEN2k\")",
           sheet::run<S>(Load1CompoWIEN2k)},
          {"Load 2-Compo. WIEN2k (1/2)", "import-wien2k-first", kColumnUsage,
           "first of two WIEN2k components (\"Load 2-Compo. WIEN2k (1/2)\")",
           sheet::run<S>(LoadTwoCompoFirst)},
          {"Load 2-Compo. WIEN2k (2/2)", "import-wien2k-second", kColumnUsage,
           "second of two WIEN2k components (\"Load 2-Compo. WIEN2k (2/2)\")",
           sheet::run<S>(LoadTwoCompoSecond)},
          {"Load General X-Y1-Y2 Data", "import-general", kColumnUsage,
           "general X-Y1-Y2 selective XAFS (\"Load General X-Y1-Y2 Data\")",
           sheet::run<S>(LoadGeneral)},
      }};
  return sheet;
}

}  // namespace talvern
