#include "app/workflow.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "workspace/file_names.h"

namespace {

namespace files = talvern::files;
using talvern::WorkflowStep;

TEST(WorkflowSteps, FilesDecideWhetherADialogOpens) {
  talvern::test::TempDir tmp;
  const talvern::WorkSpace ws(tmp.file("ws"));
  talvern::MainFormState form;
  talvern::construct_work_space(ws, form);
  int dialogs = 0;
  const auto dialog = [&] { ++dialogs; };
  auto open = [&](WorkflowStep step) {
    return talvern::open_workflow_step(ws, step, form, dialog);
  };

  EXPECT_FALSE(open(WorkflowStep::xafs_setting));
  EXPECT_EQ(form.message, "ERROR!!\r\nYou should load ALL the materials for simulation.");
  EXPECT_FALSE(open(WorkflowStep::xrf_setting));
  EXPECT_EQ(form.message,
            "ERROR!!\r\nYou should make WORK SPACE at first, and \r\nload all the materials for "
            "simulation");
  EXPECT_FALSE(open(WorkflowStep::rixs_simulation));
  EXPECT_EQ(dialogs, 0);

  // Only presence counts, not content.
  for (const char* name : {files::kConventionalXAFS, files::kSelectiveReadingOrg,
                           files::kExpNonResonantEmission, files::kRIXSExp})
    talvern::test::write_file(ws.file(name), "");
  EXPECT_TRUE(open(WorkflowStep::xrf_setting));
  EXPECT_EQ(form.message, "The setting by using XRF data was finished.");
  EXPECT_TRUE(open(WorkflowStep::xafs_setting));
  EXPECT_EQ(form.message, "The setting by using conventional XAFS was finished.");
  // The normalised XAFS is made only inside the XAFS dialog.
  EXPECT_FALSE(open(WorkflowStep::rixs_simulation));
  EXPECT_EQ(dialogs, 2);
  talvern::test::write_file(ws.file(files::kConvXAFSNormSpectrum), "");
  EXPECT_TRUE(open(WorkflowStep::rixs_simulation));
  EXPECT_EQ(form.message, "RIXS simulation was finished.");
}

}  // namespace
