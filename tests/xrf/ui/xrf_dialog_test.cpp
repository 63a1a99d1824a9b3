// The XRF setting dialog: boxes and radio groups filled by the load and read
// by the commands, the panel showing measurement, fit total and (only with
// two components chosen) the two parts, and a click setting the peak of the
// chosen Lorentzian.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/main_form.h"
#include "gui/PlotPanel.h"
#include "support/held_input.h"
#include "support/panel_pixels.h"
#include "support/temp_dir.h"
#include "workspace/parameters.h"
#include "xrf/ui/CXRF.h"

namespace fs = std::filesystem;
using namespace talvern::test;
using talvern::CXRF;
using talvern::PlotPanel;

namespace {

constexpr const char* kRadios[] = {"oneCompoRadio", "twoCompoRadio", "selectARadio",
                                   "selectBRadio",  "selectCRadio",  "selectDRadio"};

struct XRFFixture {
  talvern::test::TempDir tmp;
  fs::path ws = tmp.path() / "TALVERN_WORK_SPACE";
  std::unique_ptr<CXRF> dialog;
  PlotPanel* panel = nullptr;

  XRFFixture() {
    talvern::MainFormState form;
    talvern::construct_work_space(talvern::WorkSpace(ws), form);
    // Two emission lines on a flat background, 7020 ... 7065 eV in 0.25 eV steps.
    std::ostringstream xrf;
    for (int k = 0; k <= 180; ++k) {
      const double e = 7020 + 0.25 * k;
      const double a = (e - 7045) / 4, b = e - 7058.8;
      xrf << e << '\t' << 5 + 100 / (1 + a * a) + 60 / (1 + b * b) << '\n';
    }
    write_file(ws / "Exp_Non_Resonant_Emission.DAT", xrf.str());

    dialog = std::make_unique<CXRF>(talvern::WorkSpace(ws));
    dialog->show();
    panel = dialog->findChild<PlotPanel*>("xrfPanel");
  }
  template <class W = QPushButton>
  W* get(const QString& name) {
    W* w = dialog->findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name.toStdString();
    return w;
  }
  void click(const QString& name) { QTest::mouseClick(get<QAbstractButton>(name), Qt::LeftButton); }
  QString box(const QString& name) { return get<QLineEdit>(name)->text(); }
  bool checked(const char* radio) { return get<QRadioButton>(radio)->isChecked(); }
  std::string pane() {
    return get<QPlainTextEdit>("messagePane")->toPlainText().toStdString();
  }
  QImage picture() const { return panel->grab().toImage(); }
  talvern::LorentzSet lorentz(const char* file) const {
    talvern::LorentzSet set;
    EXPECT_EQ(talvern::read_lorentz(ws / file, set), 13u) << file;
    return set;
  }
};

}  // namespace

TEST(XRFDialog, LoadFitAndTheTwoComponentPicture) {
  XRFFixture f;
  EXPECT_EQ(f.dialog->windowTitle(), "Setting by XRF");
  ASSERT_NE(f.panel, nullptr);
  for (const char* column : {"position", "amplitude", "width"})
    for (const char* row : {"A", "B", "C", "D"})
      EXPECT_TRUE(f.box(QString(column) + row).isEmpty()) << column << row;
  EXPECT_TRUE(f.box("excEnergyBox").isEmpty());
  for (const char* radio : kRadios) EXPECT_FALSE(f.checked(radio)) << radio;
  EXPECT_FALSE(f.get("recoverGraphicsButton")->isVisible());
  EXPECT_EQ(count_pixels(f.picture(), kRedPen), 0);

  // The new work-space's Lorentzians: two components, A is 7045 eV wide 8.12 eV.
  f.click("loadXrfDataButton");
  EXPECT_TRUE(f.pane().starts_with("XRF data were successfully introduced.\n")) << f.pane();
  EXPECT_EQ(f.box("positionA"), "7045.");
  EXPECT_EQ(f.box("widthA"), "8.12");
  EXPECT_EQ(f.box("excEnergyBox"), "7200.");
  EXPECT_TRUE(f.checked("twoCompoRadio"));
  EXPECT_TRUE(f.checked("selectARadio"));
  EXPECT_TRUE(fs::is_regular_file(f.ws / "Emission_MinMax.DAT"));
  QImage loaded = f.picture();
  EXPECT_GT(count_pixels(loaded, kRedPen), 100);
  EXPECT_EQ(count_pixels(loaded, kBluePen), 0);

  f.click("confirmLorentzianButton");
  EXPECT_EQ(f.lorentz("RIXS_Calculation_Lorentz_Temp.DAT").two_component, 1);
  PaintCounter onScreen(f.panel);
  f.click("fitButton");
  EXPECT_TRUE(QTest::qWaitFor([&] { return onScreen.paints > 0; }, 10000));
  EXPECT_TRUE(f.pane().starts_with("A fitting curve was calculated.")) << f.pane();
  const QImage fitted = f.picture();
  EXPECT_GT(count_pixels(fitted, kRedPen), 100);
  EXPECT_GT(count_pixels(fitted, kBluePen), 100);
  EXPECT_GT(count_pixels(fitted, kSkyBluePen), 30);

  // The parts are shown only while "Two-Compo." is chosen, with no command run.
  f.click("oneCompoRadio");
  const QImage one = f.picture();
  EXPECT_EQ(count_pixels(one, kSkyBluePen), 0);
  EXPECT_GT(count_pixels(one, kBluePen), 100);
  f.click("twoCompoRadio");
  EXPECT_GT(count_pixels(f.picture(), kSkyBluePen), 30);

  f.click("rFactorButton");
  EXPECT_TRUE(f.pane().starts_with("R-factor was calculated: ")) << f.pane();
  EXPECT_EQ(f.pane().substr(f.pane().size() - 2), " %");
  EXPECT_TRUE(fs::is_regular_file(f.ws / "R_Factor_XRF.DAT"));
}

TEST(XRFDialog, ClickSetsTheChosenPeakAndCompleteStoresTheConfirmedSetting) {
  XRFFixture f;
  f.click("loadXrfDataButton");
  f.click("oneCompoRadio");
  f.click("selectCRadio");
  EXPECT_FALSE(f.checked("selectARadio"));

  // The centre of the panel is the middle of 7020 ... 7065 eV.
  const QPoint centre(f.panel->width() / 2, f.panel->height() / 2);
  QTest::mouseClick(f.panel, Qt::LeftButton, {}, centre);
  EXPECT_EQ(f.box("positionC"), "7042.5");
  EXPECT_TRUE(f.pane().starts_with("The peak position of the Lorentzian was changed.\n"));
  const QImage marked = f.picture();
  EXPECT_GT(marker_pixels(marked, centre.x()), 30);
  EXPECT_EQ(count_pixels(f.picture(), kSkyBluePen), 0);

  // A typed amplitude and the component choice go into the confirmed setting.
  f.get<QLineEdit>("amplitudeB")->clear();
  QTest::keyClicks(f.get<QLineEdit>("amplitudeB"), "0.5");
  f.click("confirmLorentzianButton");
  const talvern::LorentzSet confirmed = f.lorentz("RIXS_Calculation_Lorentz_Temp.DAT");
  EXPECT_EQ(confirmed.two_component, 0);
  EXPECT_EQ(confirmed.position[2], 7042.5);
  EXPECT_EQ(confirmed.amplitude[1], 0.5);

  f.click("completeXrfButton");
  EXPECT_EQ(f.pane(),
            "The final-state function was successfully generated.\nClick OK, and go to the next "
            "step: RIXS simulation.");
  EXPECT_EQ(read_file(f.ws / "RIXS_Calculation_Lorentz.DAT"),
            read_file(f.ws / "RIXS_Calculation_Lorentz_Temp.DAT"));

  // Loading again shows the stored setting and chooses "A" again.
  f.click("loadXrfDataButton");
  EXPECT_EQ(f.box("positionC"), "7042.5");
  EXPECT_TRUE(f.checked("oneCompoRadio"));
  EXPECT_TRUE(f.checked("selectARadio"));
  EXPECT_FALSE(f.checked("selectCRadio"));

  f.click("cancelButton");
  EXPECT_FALSE(f.dialog->isVisible());
  EXPECT_EQ(f.dialog->result(), QDialog::Rejected);
}

// "Least-Squares Fit" reads the boxes, the "fix" boxes and "Background", and
// fills the free boxes and shows the fitted curve and background. It runs
// beside the dialog: until it ends only "Stop" can be pressed.
TEST(XRFDialog, LeastSquaresFitFillsTheFreeBoxesAndDrawsTheBackground) {
  XRFFixture f;
  f.click("loadXrfDataButton");
  f.get<QCheckBox>("fix_widthA")->setChecked(true);
  f.get<QCheckBox>("backgroundCheck")->setChecked(true);
  EXPECT_FALSE(f.get("stopButton")->isEnabled());
  f.click("lsqFitButton");
  ASSERT_TRUE(f.dialog->running());
  EXPECT_TRUE(f.get("stopButton")->isEnabled());
  EXPECT_FALSE(f.get("lsqFitButton")->isEnabled());
  EXPECT_FALSE(f.get("okButton")->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !f.dialog->running(); }, 60000));
  EXPECT_TRUE(f.get("lsqFitButton")->isEnabled());
  EXPECT_FALSE(f.get("stopButton")->isEnabled());
  EXPECT_TRUE(f.pane().starts_with("The least-squares fit converged after ")) << f.pane();
  EXPECT_EQ(f.box("widthA"), "8.12");
  EXPECT_NE(f.box("positionA"), "7045.");
  EXPECT_NE(f.box("widthC"), "1.9");
  EXPECT_TRUE(f.get<QCheckBox>("fix_widthA")->isChecked());
  EXPECT_GT(count_pixels(f.picture(), kBluePen), 100);
  EXPECT_TRUE(f.dialog->state().background_line);
}

// "Stop" ends the fit before its next iteration and leaves the boxes as they
// were. The measurement is a pipe that the test fills only after Stop, so
// the fit starts with Stop pressed.
TEST(XRFDialog, StopEndsTheLeastSquaresFitAndLeavesTheBoxes) {
  XRFFixture f;
  f.click("loadXrfDataButton");
  const fs::path measured = f.ws / "Exp_Non_Resonant_Emission.DAT";
  const std::string text = read_file(measured);
  ASSERT_TRUE(hold_input(measured));
  const QString position = f.box("positionA");
  f.click("lsqFitButton");
  ASSERT_TRUE(f.dialog->running());
  f.click("stopButton");
  EXPECT_FALSE(f.get("stopButton")->isEnabled());
  ASSERT_TRUE(release_input(measured, text));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !f.dialog->running(); }, 60000));
  EXPECT_EQ(f.pane(), "CAUTION!!\nThe least-squares fit was stopped after 0\niterations. The boxes "
                      "were left as they were.");
  EXPECT_EQ(f.box("positionA"), position);
}
