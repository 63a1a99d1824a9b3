#include "workspace/project_file.h"

#include <gtest/gtest.h>

#include <string>

#include "app/load_measured.h"
#include "support/gzip.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"

namespace {

namespace files = talvern::files;
using talvern::test::gzip;
using talvern::test::kSmallProject;
using talvern::test::TempDir;
using talvern::test::write_file;

TEST(ProjectFile, GroupsAreReadWithTheirLabelsAndPoints) {
  const talvern::ProjectFile p = talvern::read_project(gzip(kSmallProject), "p.prj");
  ASSERT_EQ(p.error, "");
  ASSERT_EQ(p.groups.size(), 3u);
  EXPECT_EQ(p.groups[0].name, "abcde");
  EXPECT_EQ(p.groups[0].label, "Fe foil");
  EXPECT_EQ(p.groups[1].label, "Fe 'oxide'");
  ASSERT_EQ(p.groups[1].x.size(), 4u);
  ASSERT_EQ(p.groups[1].y.size(), 4u);
  EXPECT_EQ(p.groups[1].x[1], 7110.5);
  // A label is one line of the list, whatever its quotes hold.
  const talvern::ProjectFile two_lines = talvern::parse_project("$old_group = 'a';\n@args = ('label','Fe\r\nfoil');", "p");
  ASSERT_EQ(two_lines.groups.size(), 1u);
  EXPECT_EQ(two_lines.groups[0].label, "Fe  foil");
  EXPECT_EQ(p.groups[1].y[3], 1.01);
  EXPECT_EQ(talvern::group_list(p.groups),
            "\r\n#1 \"Fe foil\": 4 points, 7100 to 7130 eV"
            "\r\n#2 \"Fe 'oxide'\": 4 points, 7100 to 7131 eV"
            "\r\n#3 \"Fe foil\": 1 point, 7000 to 7000 eV");

  // Groups by label or number; a label two groups share is refused.
  std::string error;
  const auto chosen = talvern::resolve_groups(p.groups, {"#3", "Fe 'oxide'"}, error);
  ASSERT_TRUE(chosen) << error;
  EXPECT_EQ(*chosen, (std::vector<std::size_t>{2, 1}));
  EXPECT_FALSE(talvern::resolve_groups(p.groups, {"Fe foil"}, error));
  EXPECT_NE(error.find("not unique"), std::string::npos) << error;
  EXPECT_FALSE(talvern::resolve_groups(p.groups, {"#4"}, error));
  EXPECT_EQ(talvern::group_name(p.groups, 0), "#1");
  EXPECT_EQ(talvern::group_name(p.groups, 1), "Fe 'oxide'");
}

TEST(ProjectFile, HostileOrDamagedFilesAreRefusedWithAMessage) {
  std::string huge = "$old_group = 'a';\n@x = (";
  for (int i = 0; i < 10000000; ++i) huge += "1,";
  huge += ");\n";
  const std::string cases[] = {
      "$old_group = 'a';\nsystem('rm -rf ~');\n",
      "$old_group = 'a';\n@args = ('label','Fe);\n",
      "$old_group = 'a';\n@x = (1,2);\n@y = (1);\n",
      "$old_group = 'a';\n@x = ('7000','inf');\n@y = (1,2);\n",
      "$old_group = 'a';\n@x = `cat /etc/passwd`;\n",
      "$old_group = 'a';\n@args = ('label', e);\n",
      "@x = (1);\n@y = (1);\n",
      huge,
  };
  for (const std::string& text : cases) {
    const talvern::ProjectFile p = talvern::read_project(gzip(text), "p.prj");
    EXPECT_TRUE(p.groups.empty()) << text.substr(0, 80);
    EXPECT_TRUE(p.error.starts_with("ERROR!!\r\np.prj\r\nis not a project file: ")) << p.error;
  }
  // Cut short or not gzip at all.
  const std::string whole = gzip(kSmallProject);
  EXPECT_NE(talvern::read_project(whole.substr(0, whole.size() / 2), "p.prj").error.find("cut short"),
            std::string::npos);
  EXPECT_NE(talvern::read_project("\x1f\x8b not gzip", "p.prj").error.find("damaged"),
            std::string::npos);
}

// The loads read project groups: one as the spectrum, several merged like
// several files, none chosen refused with the list.
TEST(ProjectFile, LoadsTakeTheChosenGroupsAndMergeSeveral) {
  TempDir tmp;
  const talvern::WorkSpace ws{tmp.file("ws")};
  std::filesystem::create_directory(ws.dir());
  write_file(tmp.file("p.prj"), gzip(kSmallProject));
  talvern::UserFiles files([p = tmp.file("p.prj")](talvern::FileKind) { return std::optional(p); });
  talvern::MainFormState form;

  talvern::LoadConventionalXAFS(ws, files, form);
  EXPECT_TRUE(form.message.starts_with("ERROR!!")) << form.message;
  EXPECT_NE(form.message.find("#2 \"Fe 'oxide'\": 4 points"), std::string::npos) << form.message;
  EXPECT_FALSE(std::filesystem::exists(ws.file(files::kConventionalXAFS)));

  std::vector<std::size_t> pick{1};
  files.choose_groups = [&](const talvern::GroupRequest& r, std::string&) {
    EXPECT_EQ(r.groups.size(), 3u);
    return std::optional(pick);
  };
  talvern::LoadConventionalXAFS(ws, files, form);
  EXPECT_NE(form.message.find("Project group: \"Fe 'oxide'\""), std::string::npos) << form.message;
  talvern::RowsRead rows = talvern::read_rows(ws.file(files::kConventionalXAFS), 2);
  ASSERT_EQ(rows.rows, 4u);
  EXPECT_EQ(rows.at(1, 0), 7110.5);
  EXPECT_EQ(rows.at(3, 1), 1.01);
  EXPECT_FALSE(std::filesystem::exists(ws.file(files::kMergedScans)));

  pick = {0, 1};
  talvern::LoadConventionalXAFS(ws, files, form);
  EXPECT_NE(form.message.find("Merged 2 scans: p.prj [Fe foil], p.prj [Fe 'oxide'];"),
            std::string::npos) << form.message;
  rows = talvern::read_rows(ws.file(files::kMergedScans), 3);
  ASSERT_EQ(rows.rows, 4u);  // on the first group's energies, 7100 to 7130
  EXPECT_NEAR(rows.at(0, 1), 0.11, 1e-9);
  // At 7110 eV the second group lies between 0.12 and 0.48 (7100, 7110.5).
  EXPECT_NEAR(rows.at(1, 1), (0.5 + 0.12 + 0.36 * 10.0 / 10.5) / 2, 1e-6);

  // The chooser's answer to aligning reaches the merge (four points give
  // no rise to align on).
  files.choose_groups = [&](const talvern::GroupRequest& r, std::string&) {
    if (r.align) *r.align = true;
    return std::optional(pick);
  };
  talvern::LoadConventionalXAFS(ws, files, form);
  EXPECT_NE(form.message.find("no rise\r\nto align on"), std::string::npos) << form.message;
}

}  // namespace
