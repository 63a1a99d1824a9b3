#include "import/import_sheet.h"

#include "command/usage.h"

namespace talvern {
Sheet<XAFSReadingState>& import_sheet() {
  using S = XAFSReadingState;
  static Sheet<S> sheet{
      .open = [](const WorkSpace&) { return initial_xafs_reading_state(); },
      .commands = {
          {"Load 1-Compo. WIEN2k ", "import-wien2k", kFileUsage,
           "one-component WIEN2k selective XAFS (\"Load 1-Compo. WIEN2k\")",
           sheet::run<S>(Load1CompoWIEN2k)},
          {"Load 2-Compo. WIEN2k (1/2)", "import-wien2k-first", kFileUsage,
           "first of two WIEN2k components (\"Load 2-Compo. WIEN2k (1/2)\")",
           sheet::run<S>(LoadTwoCompoFirst)},
          {"Load 2-Compo. WIEN2k (2/2)", "import-wien2k-second", kFileUsage,
           "second of two WIEN2k components (\"Load 2-Compo. WIEN2k (2/2)\")",
           sheet::run<S>(LoadTwoCompoSecond)},
          {"Load General X-Y1-Y2 Data", "import-general", kFileUsage,
           "general X-Y1-Y2 selective XAFS (\"Load General X-Y1-Y2 Data\")",
           sheet::run<S>(LoadGeneral)},
      }};
  return sheet;
}

}  // namespace talvern
