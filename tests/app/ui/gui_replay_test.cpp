// A whole run of the program, from its buttons and clicks, written to the
// history and replayed by talvern-cli into an empty work-space, gives every
// .DAT file again byte for byte.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/ui/CTALVERNView.h"
#include "gui/PlotPanel.h"
#include "import/ui/CXAFSReading.h"
#include "refine/ui/CAverage.h"
#include "refine/ui/COptim.h"
#include "rixs/ui/CRIXSPlane.h"
#include "rixs/ui/CRIXSXAFS.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"
#include "xafs/ui/CConvXAFS.h"
#include "xrf/ui/CXRF.h"

namespace {

namespace fs = std::filesystem;
namespace tv = talvern;

void type(QWidget* dialog, const char* box, const char* text) {
  auto* edit = dialog->findChild<QLineEdit*>(box);
  ASSERT_NE(edit, nullptr) << box;
  edit->setText(text);
}

void check(QWidget* dialog, const char* radio) {
  auto* button = dialog->findChild<QRadioButton*>(radio);
  ASSERT_NE(button, nullptr) << radio;
  button->setChecked(true);
}

void press(QWidget* dialog, const char* button) {
  auto* b = dialog->findChild<QPushButton*>(button);
  ASSERT_TRUE(b && b->isEnabled()) << button;
  QTest::mouseClick(b, Qt::LeftButton);
}

void click_panel(QWidget* dialog, const char* panel, double x_l) {
  auto* p = dialog->findChild<tv::PlotPanel*>(panel);
  ASSERT_NE(p, nullptr) << panel;
  emit p->panelClicked(x_l, 0.0);
}

// The user's files: each command's file dialog answers by its title.
tv::UserFiles answering(const std::map<std::string, fs::path>& by_title) {
  return tv::UserFiles([by_title](const tv::FileRequest& r) -> std::optional<fs::path> {
    const auto it = by_title.find(r.title);
    if (it == by_title.end()) return std::nullopt;
    return it->second;
  });
}

TEST(GuiReplay, AWholeRunOfTheProgramReplayedByTheShellGivesEveryFileAgain) {
  tv::test::TempDir tmp;
  const fs::path a = tmp.file("run"), b = tmp.file("again");
  const fs::path examples = TALVERN_EXAMPLES_DIR;
  const tv::UserFiles files = answering({
      {"Load Conventional XAFS", examples / "Fe_Conventional_XAFS.DAT"},
      {"Load XRF", examples / "Fe_XRF_Kbeta.DAT"},
      {"Load Exp. RIXS", examples / "Fe_RIXS_Exc7115.6eV.DAT"},
      {"Load 1-Compo. WIEN2k", examples / "Fe_1compo_WIEN2k.DAT"},
      {"Save RIXS", tmp.file("calculated.DAT")},
  });
  const tv::WorkSpace ws(a);

  tv::CTALVERNView view(ws);
  view.setUserFiles(files);
  view.constructWorkSpace();
  view.loadConventionalXAFS();
  view.loadXRF();
  view.loadExpRIXS();
  {
    tv::CXAFSReading reading(ws, nullptr, files);
    press(&reading, "load1CompoButton");
  }
  {
    tv::CConvXAFS xafs(ws, nullptr, files);
    press(&xafs, "loadXafsButton");
    xafs.findChild<QComboBox*>("edgeList")->setCurrentIndex(7);
    press(&xafs, "confirmXafsInfoButton");
    click_panel(&xafs, "plotPanel", -48.96);  // as in a zoomed view: not a whole unit
    press(&xafs, "confirmXafsInfoButton");
    press(&xafs, "completeXafsButton");
  }
  {
    tv::CXRF xrf(ws, nullptr, files);
    press(&xrf, "loadXrfDataButton");
    check(&xrf, "twoCompoRadio");
    check(&xrf, "selectBRadio");
    click_panel(&xrf, "xrfPanel", -20);
    press(&xrf, "confirmLorentzianButton");
    type(&xrf, "excEnergyBox", "7213.8");
    press(&xrf, "fitButton");
    press(&xrf, "rFactorButton");
    press(&xrf, "completeXrfButton");
  }
  {
    tv::CRIXSXAFS rixs(ws, {}, nullptr, files);
    press(&rixs, "loadSelectiveButton");
    type(&rixs, "regionMinBox", "7108.8");
    type(&rixs, "regionMaxBox", "7128.8");
    press(&rixs, "modeChangeButton");
    click_panel(&rixs, "selectivePanel", -32);
    type(&rixs, "amplitudeBox", "1.0");
    type(&rixs, "widthBox", "3.0");
    check(&rixs, "addRadio");
    press(&rixs, "showPeakButton");
    press(&rixs, "modifyButton");
    press(&rixs, "saveTemporarilyButton");
    press(&rixs, "completeButton");
    type(&rixs, "scaleBox", "7.9e-09");
    press(&rixs, "calculateButton");
    press(&rixs, "compExpButton");    // the calculation is shown: "Compare RIXS" follows
    type(&rixs, "absCorrBox", "0.8");
    press(&rixs, "calculateButton");  // the measurement is shown: the comparison follows
    press(&rixs, "saveRixsButton");
    type(&rixs, "energyShiftBox", "0.25");
    press(&rixs, "shiftButton");
  }
  {
    tv::CAverage average(ws, nullptr, files);
    type(&average, "startEnergyBox", "7110");
    type(&average, "endEnergyBox", "7125");
    average.findChild<QComboBox*>("pointsList")->setCurrentIndex(0);
    press(&average, "averageButton");
  }
  {
    tv::COptim optim(ws, nullptr, files);
    type(&optim, "startEnergyBox", "7112");
    type(&optim, "endEnergyBox", "7116");
    type(&optim, "excEnergyBox", "7115.6");
    optim.findChild<QComboBox*>("repetitionsList")->setCurrentIndex(0);
    press(&optim, "optimizeButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !optim.running(); }, 30000));
  }
  {
    tv::CRIXSPlane plane(ws, nullptr, files);
    type(&plane, "fromBox", "7110");
    type(&plane, "toBox", "7112");
    type(&plane, "stepBox", "0.5");
    press(&plane, "calculateButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !plane.running(); }, 30000));
  }

  // Every command of the run is in the history, each as it ended.
  const std::string history = tv::test::read_file(a / "TALVERN_History.sh");
  for (const char* line : {"\ntalvern-cli xafs-click --energy 7113.8", "\ntalvern-cli rixs-pick --energy 7115.6",
                           "exit 0\ntalvern-cli rixs-comp-exp --calculated\n",
                           "exit 0\ntalvern-cli rixs-calculate --exc 7115.6 --scale 7.9e-09 --abs-corr 0.8 --compare\n",
                           "exit 0\ntalvern-cli average ", "exit 0\ntalvern-cli optimize ",
                           "exit 0\ntalvern-cli rixs-plane "})
    EXPECT_NE(history.find(line), std::string::npos) << line << "\n" << history;
  const tv::test::CliRun again = tv::test::run_cli_at(
      TALVERN_CLI_PATH, "--workspace '" + b.string() + "' replay '" +
                            (a / "TALVERN_History.sh").string() + "'");
  EXPECT_EQ(again.exit_code, 0) << again.out;
  const auto want = tv::test::dat_files(a), got = tv::test::dat_files(b);
  EXPECT_GE(want.size(), 20u);
  for (const auto& [name, text] : want) {
    const auto it = got.find(name);
    EXPECT_TRUE(it != got.end() && it->second == text) << name << " differs or is missing";
  }
  EXPECT_EQ(got.size(), want.size());
}

}  // namespace
