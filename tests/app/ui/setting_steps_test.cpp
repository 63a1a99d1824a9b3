// "Setting by XAFS", "Setting by XRF" and "RIXS Simulation" on the main
// form: refused while a file they need is missing, otherwise their dialog runs modally and the
// pane reports the step finished, however the dialog was closed.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/ui/CTALVERNView.h"
#include "support/temp_dir.h"
#include "xafs/ui/CConvXAFS.h"
#include "xrf/ui/CXRF.h"

namespace fs = std::filesystem;
using talvern::CTALVERNView;
using talvern::test::write_file;

namespace {

constexpr const char* kXafsMissing = "ERROR!!\nYou should load ALL the materials for simulation.";
constexpr const char* kXrfMissing =
    "ERROR!!\nYou should make WORK SPACE at first, and \nload all the materials for simulation";
constexpr const char* kXafsDone = "The setting by using conventional XAFS was finished.";
constexpr const char* kXrfDone = "The setting by using XRF data was finished.";
constexpr const char* kRixsMissing =
    "ERROR!!\nYou should load ALL the materials for simulation, and \nthen, do both setting by "
    "XAFS and setting by XRF.";

struct StepFixture {
  talvern::test::TempDir tmp;
  fs::path ws = tmp.path() / "TALVERN_WORK_SPACE";
  CTALVERNView view{talvern::WorkSpace(ws)};

  StepFixture() {
    view.show();
    click(&view, "constructButton");
  }
  static void click(QWidget* in, const char* name) {
    auto* button = in->findChild<QPushButton*>(name);
    ASSERT_TRUE(button && button->isEnabled()) << name;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  // Clicks the form's `step` button; a modal dialog it opens is closed with
  // `closeWith`. Returns the dialog's title, empty when none opened.
  QString runStep(const char* step, const char* closeWith) {
    QString title;
    QTimer closer;  // dies with this call, so it never reaches another test
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, [&] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        title = modal->windowTitle();
        click(modal, closeWith);
        if (modal->isVisible()) modal->close();  // never leave the test hanging
      }
    });
    closer.start(0);
    click(&view, step);  // returns once the dialog is closed
    return title;
  }
  std::string pane() const {
    return view.findChild<QPlainTextEdit*>("messagePane")->toPlainText().toStdString();
  }
};

}  // namespace

TEST(SettingSteps, RefusedUntilTheirFilesExistThenRunModallyAndEndFinished) {
  StepFixture f;
  EXPECT_EQ(f.runStep("settingXafsButton", "cancelButton"), "");
  EXPECT_EQ(f.pane(), kXafsMissing);
  EXPECT_EQ(f.runStep("settingXrfButton", "cancelButton"), "");
  EXPECT_EQ(f.pane(), kXrfMissing);
  EXPECT_EQ(f.runStep("rixsSimulationButton", "cancelButton"), "");
  EXPECT_EQ(f.pane(), kRixsMissing);

  // The measured XRF is all the XRF step needs; the XAFS step still refuses.
  write_file(f.ws / "Exp_Non_Resonant_Emission.DAT", "7020\t1\n7020.5\t2\n7021\t1\n");
  EXPECT_EQ(f.runStep("settingXafsButton", "okButton"), "");
  EXPECT_EQ(f.pane(), kXafsMissing);
  EXPECT_EQ(f.runStep("settingXrfButton", "cancelButton"), "Setting by XRF");
  EXPECT_EQ(f.pane(), kXrfDone);

  write_file(f.ws / "Conventional_XAFS.DAT", "7100\t0.1\n7110\t1\n7120\t2\n");
  write_file(f.ws / "SelectiveXAFS_for_Reading_Org.DAT", "0\t1\t1\n0.1\t2\t2\n");
  EXPECT_EQ(f.runStep("settingXafsButton", "cancelButton"), "Conventional XAFS");
  EXPECT_EQ(f.pane(), kXafsDone);
  EXPECT_EQ(f.runStep("settingXafsButton", "okButton"), "Conventional XAFS");  // a new dialog
  EXPECT_EQ(f.pane(), kXafsDone);

  write_file(f.ws / "RIXSEXP.DAT", "7020\t1\n");
  write_file(f.ws / "ConvXAFS_Norm_Spectrum.DAT", "7100\t0.05\n7110\t1\n");
  EXPECT_EQ(f.runStep("rixsSimulationButton", "cancelButton"), "RIXS Simulation");
  EXPECT_EQ(f.pane(), "RIXS simulation was finished.");

  // Each dialog is destroyed when it closes.
  EXPECT_TRUE(f.view.findChildren<talvern::CConvXAFS*>().isEmpty());
  EXPECT_TRUE(f.view.findChildren<talvern::CXRF*>().isEmpty());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}
