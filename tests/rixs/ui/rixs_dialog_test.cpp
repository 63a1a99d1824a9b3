// The RIXS Simulation dialog through a whole session on the sample data:
// the traces each command keeps, drops or rebuilds, what the three panels
// show, and the comparison on common emission energies with its R-factor.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include "app/load_measured.h"
#include "app/main_form.h"
#include "app/ui/dialog_openers.h"
#include "gui/PlotPanel.h"
#include "import/selective_import.h"
#include "rixs/ui/CRIXSXAFS.h"
#include "support/panel_pixels.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "xafs/conv_xafs.h"
#include "xrf/xrf_setting.h"

namespace fs = std::filesystem;
namespace tv = talvern;
using namespace talvern::test;
using talvern::CRIXSXAFS;
using talvern::PlotPanel;

namespace {

// What a command does to each trace, in the order selective XAFS,
// Lorentzian, calculated RIXS, experimental RIXS, comparison.
enum Rule { K, D, R, IfCalc, IfExp };  // kept, dropped, rebuilt; rebuilt when that trace is there
using Presence = std::array<bool, 5>;

struct Step {
  const char* button;  // nullptr: the action is not a button
  std::array<Rule, 5> rules;
  const char* first_line;
};

constexpr const char* kCompared = "Experimental RIXS (red) and calculated RIXS (blue) were";
const Step kLoad{"loadSelectiveButton", {R, D, D, D, D},
                 "Selective XAFS data was successfully introduced."};
const Step kModeChange{"modeChangeButton", {R, D, K, K, K}, "Display mode was changed."};
const Step kRegionError{"modeChangeButton", {D, D, K, K, K}, "INPUT ERROR!!"};
const Step kPick{nullptr, {K, K, K, K, K}, "Energy was set to 7115.6 eV."};
const Step kShowPeak{"showPeakButton", {K, R, K, K, K},
                     "The Lorentzian to modify selective XAFS was shown."};
const Step kModify{"modifyButton", {R, D, D, D, D}, "The lorenzian was added/subtracted."};
const Step kSaveTemporarily{"saveTemporarilyButton", {K, D, K, K, K},
                            "The modified profiles were temporarily saved."};
const Step kComplete{"completeButton", {R, D, D, D, D},
                     "Selective XAFS data were saved for calculating RIXS."};
const Step kCalculate{"calculateButton", {K, D, R, K, IfExp},
                      "Calculated RIXS spectrum was shown."};
const Step kCalculateCompared{"calculateButton", {K, D, R, K, IfExp}, kCompared};
const Step kCompExp{"compExpButton", {K, K, K, R, IfCalc}, kCompared};
const Step kClearRIXS{"clearRixsButton", {K, K, D, K, D}, "Calculated RIXS data were cleared."};
const Step kAllClear{"allClearButton", {K, K, K, D, D}, "All the spectra were cleared."};
const Step kClear{"clearButton", {D, D, D, D, D}, "Selective XAFS data were cleared."};

const QColor kPinkPen(255, 128, 255);

class RIXSDialog : public ::testing::Test {
 protected:
  TempDir tmp;
  tv::WorkSpace ws{tmp.path() / "TALVERN_WORK_SPACE"};
  std::unique_ptr<CRIXSXAFS> dialog;

  // A file dialog that returns the sample file `name`.
  static tv::FileChooser sample(const char* name) {
    return [file = fs::path(TALVERN_EXAMPLES_DIR) / name](tv::FileKind) {
      return std::optional<fs::path>(file);
    };
  }

  // The work-space as the tour leaves it before "RIXS Simulation".
  void SetUp() override {
    tv::MainFormState form;
    tv::construct_work_space(ws, form);
    ASSERT_FALSE(tv::LoadConventionalXAFS(ws, sample("Fe_Conventional_XAFS.DAT"), form));
    ASSERT_FALSE(tv::LoadXRF(ws, sample("Fe_XRF_Kbeta.DAT"), form));
    ASSERT_FALSE(tv::LoadExpRIXS(ws, sample("Fe_RIXS_Exc7115.6eV.DAT"), form));
    tv::XAFSReadingState reading;
    ASSERT_FALSE(tv::Load1CompoWIEN2k(ws, sample("Fe_1compo_WIEN2k.DAT"), reading));

    tv::ConvXAFSState xafs;
    tv::LoadXAFS(ws, xafs);
    xafs.selected_edge = 7;  // "Fe K-edge"
    xafs.core_energy = "7113.8";
    tv::ConfirmXAFSInfo(ws, xafs);

    tv::XRFState xrf;
    tv::LoadXRFData(ws, xrf);
    xrf.components = 1;
    xrf.width = {"4.3", "5.78", "2", "1.07"};
    xrf.position = {"7045.5", "7056", "7058", "7060.1"};
    xrf.amplitude = {"0.65", "0", "1", "0"};
    tv::ConfirmLorentzianSetting(ws, xrf);
    tv::CompleteXRFSetting(ws, xrf);

    dialog = std::make_unique<CRIXSXAFS>(
        ws, talvern::rixs_simulation_openers(), nullptr,
        tv::UserFiles([](tv::FileKind) { return std::optional<fs::path>(); }),
        [](const tv::OpenFailure& f) { ADD_FAILURE() << f.text(); });
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  }

  template <class W>
  W* get(const char* name) {
    W* w = dialog->findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void click(const char* name) { QTest::mouseClick(get<QAbstractButton>(name), Qt::LeftButton); }
  void type(const char* box, const char* text) {
    get<QLineEdit>(box)->clear();
    QTest::keyClicks(get<QLineEdit>(box), text);
  }
  std::string pane() { return get<QPlainTextEdit>("messagePane")->toPlainText().toStdString(); }
  // Each of red, blue, sky blue and pink is either drawn (more than 20
  // pixels) or not at all.
  void expect_colours(const char* panel, std::array<bool, 4> shown) {
    const QImage image = get<PlotPanel>(panel)->grab().toImage();
    const QColor pens[] = {kRedPen, kBluePen, kSkyBluePen, kPinkPen};
    for (int c = 0; c < 4; ++c) {
      const int n = count_pixels(image, pens[c]);
      if (shown[c]) EXPECT_GT(n, 20) << panel << " colour " << c;
      else EXPECT_EQ(n, 0) << panel << " colour " << c;
    }
  }
  Presence presence() {
    const tv::RIXSState& s = dialog->state();
    return {bool(s.selective), bool(s.lorentzian), bool(s.calculated), bool(s.experimental),
            bool(s.comparison)};
  }
  tv::RowsRead rows(const char* file, std::size_t k) { return tv::read_rows(ws.file(file), k); }

  // Runs one step (its button, or `act`) and checks the traces against
  // the rules applied to the traces before it, the panels against the
  // traces, and the message's first line.
  void run(const Step& step, const std::function<void()>& act = {}) {
    const Presence before = presence();
    if (step.button) click(step.button);
    else act();
    Presence want{};
    for (int t = 0; t < 5; ++t) {
      const Rule r = step.rules[t];
      want[t] = r == K ? before[t]
                       : r == R || (r == IfCalc && before[2]) || (r == IfExp && before[3]);
    }
    const char* what = step.button ? step.button : step.first_line;
    EXPECT_EQ(presence(), want) << what;
    // In "A&B" the red component 1 of one-component data covers the blue
    // component 2; the tour's two-component flag adds the sky-blue parts.
    expect_colours("selectivePanel", {want[0], false, false, want[1]});
    expect_colours("calculatedPanel", {false, want[2], want[2], false});
    expect_colours("comparisonPanel", {want[3], want[4], want[4], false});
    const std::string text = pane();
    EXPECT_EQ(text.substr(0, text.find('\n')), step.first_line) << what << "\n" << text;
  }
};

TEST_F(RIXSDialog, WholeSessionOnTheSampleData) {
  EXPECT_EQ(presence(), Presence{});
  run(kLoad);
  EXPECT_TRUE(get<QAbstractButton>("modeABRadio")->isChecked());  // the tour's flag 1

  // Enter in a region box presses nothing and closes nothing.
  type("regionMinBox", "7108.8");
  type("regionMaxBox", "7128.8");
  QTest::keyClick(get<QLineEdit>("regionMaxBox"), Qt::Key_Return);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(pane().starts_with(kLoad.first_line)) << pane();

  run(kModeChange);
  // The display mode takes effect at the next paint, with no command.
  click("modeBRadio");
  expect_colours("selectivePanel", {false, true, false, false});
  click("modeABRadio");

  // Panel x -32 of 7108.8 ... 7128.8 eV is the pre-edge peak, 7115.6 eV.
  PlotPanel* selective = get<PlotPanel>("selectivePanel");
  const int w = selective->width();
  const QPoint at(w / 2 - static_cast<int>(std::ceil(32.0 * w / 220)), selective->height() / 2);
  run(kPick, [&] {
    QTest::mouseClick(selective, Qt::LeftButton, {}, at);
    EXPECT_GT(marker_pixels(selective->grab().toImage(), at.x()), 30);
  });
  EXPECT_EQ(get<QLineEdit>("centralEnergyBox")->text(), "7115.6");
  EXPECT_EQ(get<QLineEdit>("excEnergyBox")->text(), "7115.6");

  run(kShowPeak);
  run(kModify);
  run(kSaveTemporarily);
  run(kComplete);
  run(kCalculate);
  EXPECT_TRUE(pane().starts_with("Calculated RIXS spectrum was shown.\n"
                                 "The excitation energy employed was 7115.6 eV.\n")) << pane();

  // The measured RIXS lies on the calculation's emission grid: none of it
  // is lost and both spectra keep the same rows.
  const std::size_t measured = rows("RIXSEXP.DAT", 2).rows;
  ASSERT_GT(measured, 10u);
  run(kCompExp);
  const tv::RowsRead exp = rows("RIXSEXP.DAT", 2), calc = rows("Calculated_RIXS.DAT", 4);
  EXPECT_EQ(exp.rows, measured);
  EXPECT_EQ(calc.rows, measured);
  ASSERT_TRUE(dialog->state().experimental && dialog->state().comparison);
  EXPECT_EQ(dialog->state().experimental->size(), measured);
  EXPECT_EQ(dialog->state().comparison->size(), measured);
  // The message ends with the R-factor of the two files as the comparison left them.
  double diff = 0, sum = 0;
  for (std::size_t k = 0; k < exp.rows && k < calc.rows; ++k) {
    EXPECT_EQ(calc.at(k, 0), exp.at(k, 0));
    diff += std::fabs(calc.at(k, 1) - exp.at(k, 1));
    sum += exp.at(k, 1);
  }
  const std::string message = pane();
  const std::string last_line = message.substr(message.rfind('\n') + 1);
  ASSERT_TRUE(last_line.starts_with("R-Factor: ")) << message;
  EXPECT_NEAR(std::stod(last_line.substr(10)), 100 * diff / sum, 1e-5 * 100 * diff / sum) << message;

  // Clearing, and calculating again with a measured RIXS shown.
  run(kShowPeak);
  run(kClearRIXS);
  run(kCalculateCompared);
  run(kAllClear);
  type("regionMaxBox", "7400");  // beyond the data
  run(kRegionError);
  run(kClear);
  EXPECT_TRUE(dialog->isVisible());
}


// "Calculate RIXS" takes the factors as typed in the boxes, not the ones last
// used, and each run is written to the history as the line that does the same.
TEST_F(RIXSDialog, TypedFactorsReachTheCalculationAndTheHistory) {
  run(kLoad);
  type("regionMinBox", "7108.8");
  type("regionMaxBox", "7128.8");
  run(kComplete);
  type("excEnergyBox", "7115.6");
  type("scaleBox", "2e-08");
  type("absCorrBox", "0.5");
  run(kCalculate);
  tv::CalcParameters p;
  ASSERT_EQ(tv::read_parameters(ws.file(tv::files::kParameters), p), 7u);
  EXPECT_EQ(p.scale, 2e-08);
  EXPECT_EQ(p.abs_correction, 0.5);
  const std::string history = read_file(ws.file(tv::files::kHistory));
  EXPECT_NE(history.find("\ntalvern-cli rixs-load-selective\n"), std::string::npos) << history;
  EXPECT_TRUE(history.ends_with(
      "\ntalvern-cli rixs-calculate --exc 7115.6 --scale 2e-08 --abs-corr 0.5\n"))
      << history;
}

// "Optimization" opens with the excitation energy the RIXS dialog holds and
// the R-factor the run starts from: the tour's 52.12 % as the spectrum stands.
TEST_F(RIXSDialog, OptimizationOpensWithTheExcitationEnergyAndTheStartingRFactor) {
  run(kLoad);
  type("regionMinBox", "7108.8");
  type("regionMaxBox", "7128.8");
  run(kComplete);
  type("excEnergyBox", "7115.6");
  QString exc, r;
  QTimer::singleShot(0, [&] {
    if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      exc = d->findChild<QLineEdit*>("excEnergyBox")->text();
      r = d->findChild<QLineEdit*>("rFactorBox")->text();
      d->reject();
    }
  });
  click("optimizeButton");
  EXPECT_EQ(exc, "7115.6");
  EXPECT_TRUE(r.startsWith("52.12")) << r.toStdString();
}

// "Optimize" and "Average" open their dialogs modally; closed with Cancel,
// each still leaves its message. "RIXS Plane..." and "Global Fit..." open
// their own and leave the message as it was.
TEST_F(RIXSDialog, RefinementDialogsReportWhenClosed) {
  const struct {
    const char* button;
    const char* title;
    const char* message;  // nullptr: the message pane is not changed
  } cases[] = {
      {"optimizeButton", "Optimization",
       "Optimization was done.\nThe result can be checked by clicking Mode-Change button."},
      {"averageButton", "Average",
       "Adjusting averaging was done.\nThe result can be checked by clicking Mode-Change button."},
      {"rixsPlaneButton", "RIXS Plane", nullptr},
      {"globalFitButton", "Global Fit", nullptr},
  };
  for (const auto& c : cases) {
    const std::string before = pane();
    ASSERT_TRUE(get<QAbstractButton>(c.button)->isEnabled()) << c.button;
    QString opened;
    QTimer::singleShot(0, [&opened] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* d = qobject_cast<QDialog*>(modal)) {
        opened = d->windowTitle();
        d->reject();
      }
    });
    click(c.button);
    EXPECT_EQ(opened, c.title);
    EXPECT_EQ(pane(), c.message ? std::string(c.message) : before);
  }
}

}  // namespace
