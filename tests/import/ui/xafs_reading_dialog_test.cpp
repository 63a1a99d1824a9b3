// The Load Selective XAFS dialog: its controls, and each button running its
// load with the injected file dialog and showing the result.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "import/ui/CXAFSReading.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using talvern::CXAFSReading;
using talvern::test::write_file;

namespace {

struct DialogFixture {
  talvern::test::TempDir tmp;
  fs::path ws = tmp.path() / "TALVERN_WORK_SPACE";
  std::optional<fs::path> chosen;
  int asked = 0;
  CXAFSReading dialog{talvern::WorkSpace(ws), nullptr,
                      talvern::UserFiles([this](talvern::FileKind kind) {
                        EXPECT_EQ(kind, talvern::FileKind::selective_xafs);
                        ++asked;
                        return chosen;
                      }),
                      [](const talvern::OpenFailure& f) { ADD_FAILURE() << f.text(); }};

  DialogFixture() {
    fs::create_directory(ws);
    dialog.show();
  }
  // Makes the next file dialog answer with a new file holding `text`.
  void choose(const char* name, const std::string& text) {
    chosen = tmp.file(name);
    write_file(*chosen, text);
  }
  void click(const char* name) {
    auto* button = dialog.findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  std::string pane() {
    return dialog.findChild<QPlainTextEdit*>("messagePane")->toPlainText().toStdString();
  }
  bool wrote(const char* name) const { return fs::is_regular_file(ws / name); }
};

constexpr const char* kOrg = "SelectiveXAFS_for_Reading_Org.DAT";

}  // namespace

TEST(XAFSReadingDialog, ControlsAndInitialMessage) {
  DialogFixture f;
  EXPECT_EQ(f.dialog.windowTitle(), "Load Selective XAFS");
  const std::pair<const char*, const char*> buttons[] = {
      {"load1CompoButton", "Load 1-Compo. WIEN2k "},
      {"loadTwoCompoFirstButton", "Load 2-Compo. WIEN2k (1/2)"},
      {"loadTwoCompoSecondButton", "Load 2-Compo. WIEN2k (2/2)"},
      {"loadGeneralButton", "Load General X-Y1-Y2 Data"},
      {"okButton", "OK"},
      {"cancelButton", "Cancel"}};
  for (const auto& [name, caption] : buttons)
    EXPECT_EQ(f.dialog.findChild<QPushButton*>(name)->text().toStdString(), caption);
  EXPECT_EQ(f.dialog.findChild<QGroupBox*>("twoCompoGroup")->title(), "Two-Component WIEN2k Data");
  EXPECT_EQ(f.dialog.findChild<QGroupBox*>("generalGroup")->title(), "General Data");
  EXPECT_TRUE(f.dialog.findChild<QPlainTextEdit*>("messagePane")->isReadOnly());
  EXPECT_EQ(f.pane(),
            "Load WIEN2k data after selecting 1- or 2-\ncomponent. You can load also general X-Y1-Y2 "
            "\ndata, where X is exc. energy and Yi is the intensity\nof i-component (for 1-component "
            "data, Y1 = Y2).");
}

TEST(XAFSReadingDialog, EachLoadWritesAndReports) {
  DialogFixture f;
  f.choose("one.xspec", "# ENERGY XAS_tot x\n0 1\n0.1 2\n0.2 4\n");
  f.click("load1CompoButton");
  EXPECT_TRUE(f.wrote(kOrg));
  EXPECT_EQ(f.pane(),
            "One-component selective XAFS data were introduced\ninto C:\\TALVERN_WORK_SPACE. "
            "Click OK, and go to \nthe next step.");

  fs::remove(f.ws / kOrg);
  f.choose("general.DAT", "0 1 2\n0.1 2 2\n0.2 4 2\n");
  f.click("loadGeneralButton");
  EXPECT_TRUE(f.wrote(kOrg));
  EXPECT_EQ(f.pane(),
            "Selective XAFS data (general form) were successfully \nintroduced into "
            "C:\\TALVERN_WORK_SPACES.\nClick OK, and go to the next step.");
  EXPECT_EQ(f.asked, 2);
}

TEST(XAFSReadingDialog, SecondComponentOnlyAfterTheFirst) {
  DialogFixture f;
  f.choose("up.xspecup", "# ENERGY XAS_tot x\n0 1\n0.1 2\n");
  f.click("loadTwoCompoSecondButton");  // refused before any file dialog
  EXPECT_EQ(f.asked, 0);
  EXPECT_EQ(f.pane(), "ERROR!!\nYou should introduce the first component.");
  EXPECT_TRUE(fs::is_empty(f.ws));

  f.click("loadTwoCompoFirstButton");
  EXPECT_TRUE(f.wrote("SelectiveXAFS_for_Reading_Org_2_1.DAT"));
  // Enter on the button just used, or anywhere in the dialog, presses
  // nothing: no second file dialog, and the dialog stays open.
  QTest::keyClick(f.dialog.findChild<QPushButton*>("loadTwoCompoFirstButton"), Qt::Key_Return);
  QTest::keyClick(&f.dialog, Qt::Key_Enter);
  EXPECT_EQ(f.asked, 1);
  EXPECT_TRUE(f.dialog.isVisible());
  EXPECT_EQ(f.pane(),
            "The first data of two-component selective XAFS were\nintroduced into "
            "C:\\TALVERN_WORK_SPACE.\nIntroduce the second data.");

  f.choose("dn.xspecdn", "# ENERGY XAS_tot x\n0 3\n0.1 1\n");
  f.click("loadTwoCompoSecondButton");
  EXPECT_EQ(f.asked, 2);
  EXPECT_TRUE(f.wrote(kOrg));
  EXPECT_EQ(f.pane(),
            "The second data of selective XAFS were introduced \ninto C:\\TALVERN_WORK_SPACE.  "
            "Click OK, and go to \nthe next step.");
}
