#include "app/commands.h"

#include "app/main_form_sheet.h"
#include "app/study_sheet.h"
#include "command/subcommands.h"
#include "import/import_sheet.h"
#include "refine/refine_sheets.h"
#include "rixs/fit_sheet.h"
#include "rixs/plane_sheet.h"
#include "rixs/rixs_sheet.h"
#include "xafs/conv_xafs_sheet.h"
#include "xrf/xrf_sheet.h"

namespace talvern {

std::vector<Subcommand> all_subcommands() {
  std::vector<Subcommand> list;
  add_subcommands(main_form_sheet(), list);
  add_subcommands(import_sheet(), list);
  add_subcommands(conv_xafs_sheet(), list);
  add_subcommands(xrf_sheet(), list);
  add_subcommands(rixs_sheet(), list);
  add_subcommands(average_sheet(), list);
  add_subcommands(optim_sheet(), list);
  add_subcommands(plane_sheet(), list);
  add_subcommands(global_fit_sheet(), list);
  add_subcommands(study_sheet(), list);
  return list;
}

}  // namespace talvern
