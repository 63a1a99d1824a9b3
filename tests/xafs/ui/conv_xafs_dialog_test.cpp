// The Conventional XAFS dialog: its buttons, list, box and panel wired to
// the commands, the edge list mirrored across loads, and the panel showing
// the spectrum and the click marker.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/main_form.h"
#include "gui/PlotPanel.h"
#include "support/panel_pixels.h"
#include "support/temp_dir.h"
#include "workspace/parameters.h"
#include "xafs/edge_table.h"
#include "xafs/ui/CConvXAFS.h"

namespace fs = std::filesystem;
using namespace talvern::test;
using talvern::CConvXAFS;
using talvern::PlotPanel;

namespace {

struct ConvFixture {
  talvern::test::TempDir tmp;
  fs::path ws = tmp.path() / "TALVERN_WORK_SPACE";
  std::unique_ptr<CConvXAFS> dialog;
  PlotPanel* panel = nullptr;
  QComboBox* edges = nullptr;
  QLineEdit* coreBox = nullptr;

  ConvFixture() {
    talvern::MainFormState form;
    talvern::construct_work_space(talvern::WorkSpace(ws), form);
    // An edge step at 7114 eV from 7100 to 7300 eV, highest intensity about 2.5.
    std::ostringstream xafs;
    for (int e = 7100; e <= 7300; e += 2)
      xafs << e << '\t' << 0.1 + 2.4 / (1 + std::exp(-(e - 7114) / 3.0)) << '\n';
    write_file(ws / "Conventional_XAFS.DAT", xafs.str());
    write_file(ws / "SelectiveXAFS_for_Reading_Org.DAT", "0\t1\t1\n3.2\t2\t2\n6.4\t3\t3\n");

    dialog = std::make_unique<CConvXAFS>(talvern::WorkSpace(ws));
    dialog->show();
    panel = dialog->findChild<PlotPanel*>("plotPanel");
    edges = dialog->findChild<QComboBox*>("edgeList");
    coreBox = dialog->findChild<QLineEdit*>("coreEnergyBox");
  }
  void click(const char* name) {
    auto* button = dialog->findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  void type(const char* text) {
    coreBox->clear();
    QTest::keyClicks(coreBox, text);
  }
  std::string pane() const {
    return dialog->findChild<QPlainTextEdit*>("messagePane")->toPlainText().toStdString();
  }
  QImage picture() const { return panel->grab().toImage(); }
  talvern::CalcParameters parameters() const {
    talvern::CalcParameters p;
    EXPECT_EQ(talvern::read_parameters(ws / "RIXS_Calculation_Parameters.DAT", p), 7u);
    return p;
  }
};

}  // namespace

TEST(ConvXAFSDialog, LoadsAndClearsTheSpectrumAndKeepsTheEdgeChoice) {
  ConvFixture f;
  EXPECT_EQ(f.dialog->windowTitle(), "Conventional XAFS");
  ASSERT_TRUE(f.panel && f.edges && f.coreBox);
  EXPECT_EQ(f.edges->count(), 0);
  EXPECT_EQ(f.edges->currentIndex(), -1);
  EXPECT_TRUE(f.coreBox->text().isEmpty());
  auto* recover = f.dialog->findChild<QPushButton*>("recoverGraphicsButton");
  auto* note = f.dialog->findChild<QLabel*>("recoverGraphicsNote");
  ASSERT_TRUE(recover && note);
  EXPECT_EQ(recover->text(), "Recover Graphics");
  EXPECT_EQ(note->text(), "Click this button when graphics is disturbed");
  EXPECT_FALSE(recover->isVisible());
  EXPECT_FALSE(note->isVisible());
  EXPECT_EQ(count_pixels(f.picture(), kRedPen), 0);

  PaintCounter onScreen(f.panel);
  f.click("loadXafsButton");
  EXPECT_TRUE(QTest::qWaitFor([&] { return onScreen.paints > 0; }, 10000));
  EXPECT_TRUE(f.pane().starts_with("Conventional XAFS data were introduced and \nthe maximum"))
      << f.pane();
  EXPECT_TRUE(fs::is_regular_file(f.ws / "ConvXAFS_Norm_Spectrum.DAT"));
  EXPECT_GT(count_pixels(f.picture(), kRedPen), 100);
  const int entries = talvern::edge_count() + 1;  // the edges and "Other..."
  ASSERT_EQ(f.edges->count(), entries);
  EXPECT_EQ(f.edges->currentIndex(), -1);  // the names are offered, none chosen

  // A second load leaves the list as it is and keeps what the user chose and typed.
  const int fe = f.edges->findText("Fe K-edge");
  ASSERT_EQ(fe, 7);
  f.edges->setCurrentIndex(fe);
  f.type("7112.5");
  f.click("loadXafsButton");
  EXPECT_EQ(f.edges->count(), entries);
  EXPECT_EQ(f.edges->currentIndex(), fe);
  EXPECT_EQ(f.coreBox->text(), "7112.5");

  f.click("clearXafsButton");
  EXPECT_TRUE(f.pane().starts_with("XAFS spectrum was cleared")) << f.pane();
  EXPECT_EQ(count_pixels(f.picture(), kRedPen), 0);
  EXPECT_EQ(f.coreBox->text(), "7114.");  // the box held text: the edge's core energy
  EXPECT_EQ(f.edges->count(), entries);
}

// Typing into the list offers the entries holding the text, in any case;
// the one taken is the edge confirmed. "Other..." takes the two boxes.
TEST(ConvXAFSDialog, TypingFiltersTheListAndOtherTakesOnesOwnEdge) {
  ConvFixture f;
  f.click("loadXafsButton");
  QCompleter* completer = f.edges->completer();
  ASSERT_TRUE(f.edges->lineEdit() && completer);
  const auto take = [&](const char* typed, const char* entry) {
    f.edges->lineEdit()->clear();
    QTest::keyClicks(f.edges->lineEdit(), typed);
    ASSERT_TRUE(QTest::qWaitFor([&] { return completer->popup()->isVisible(); }, 10000)) << typed;
    ASSERT_EQ(completer->completionCount(), 1) << typed;
    EXPECT_EQ(completer->currentCompletion(), entry);
    QTest::keyClick(completer->popup(), Qt::Key_Down);
    QTest::keyClick(completer->popup(), Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.edges->currentText() == entry; }, 10000)) << typed;
  };
  take("pt l3", "Pt L3-edge");
  const int pt = f.edges->currentIndex();
  ASSERT_EQ(f.edges->itemText(pt), "Pt L3-edge");
  f.click("confirmXafsInfoButton");
  EXPECT_TRUE(f.pane().starts_with("Absorption edge was set to Pt L3-edge .")) << f.pane();
  EXPECT_EQ(f.parameters().core_energy, talvern::edge_at(pt)->core_energy);
  EXPECT_EQ(f.parameters().gamma, talvern::edge_at(pt)->lifetime);
  // "L3" alone is held by many entries.
  f.edges->lineEdit()->clear();
  QTest::keyClicks(f.edges->lineEdit(), "L3-");
  EXPECT_GT(completer->completionCount(), 50);

  take("OTHER", "Other...");
  EXPECT_EQ(f.edges->currentIndex(), f.edges->count() - 1);
  auto* energy = f.dialog->findChild<QLineEdit*>("ownEdgeEnergyBox");
  auto* width = f.dialog->findChild<QLineEdit*>("ownEdgeWidthBox");
  ASSERT_TRUE(energy && width);
  QTest::keyClicks(energy, "9000.25");
  QTest::keyClicks(width, "3.5");
  f.coreBox->clear();
  f.click("confirmXafsInfoButton");
  EXPECT_EQ(f.parameters().core_energy, 9000.25);
  EXPECT_EQ(f.parameters().gamma, 3.5);
  EXPECT_EQ(f.coreBox->text(), "9000.25");
}

TEST(ConvXAFSDialog, EdgeClickAndTypedEnergyReachTheWorkSpace) {
  ConvFixture f;
  f.click("loadXafsButton");
  f.edges->setCurrentIndex(f.edges->findText("Fe K-edge"));
  f.click("confirmXafsInfoButton");
  EXPECT_EQ(f.coreBox->text(), "7114.");
  EXPECT_NE(f.pane().find("Absorption edge was set to Fe K-edge .\nThe core energy is 7114.eV,"),
            std::string::npos)
      << f.pane();
  EXPECT_EQ(f.parameters().core_energy, 7114);
  EXPECT_EQ(f.parameters().gamma, 1.25);
  EXPECT_EQ(std::stod(read_file(f.ws / "Emission_Exc_Energy.DAT")), 7214);
  EXPECT_TRUE(fs::is_regular_file(f.ws / "SelectiveXAFS_for_Reading.DAT"));

  // "Edge from Data" fills the box with the step's inflection and marks it
  // where the trace draws 7114 eV (x = -86 of -100 ... 100).
  f.coreBox->clear();
  f.click("edgeFromDataButton");
  EXPECT_EQ(f.coreBox->text(), "7114.");
  EXPECT_TRUE(f.pane().starts_with("The steepest rise of the spectrum is at 7114. eV.")) << f.pane();
  EXPECT_GT(marker_pixels(f.picture(), f.panel->width() / 2 - 86 * f.panel->width() / 220), 30);

  // The centre of the panel is the middle of 7100 ... 7300 eV; the marker
  // is drawn there for one paint.
  const QPoint centre(f.panel->width() / 2, f.panel->height() / 2);
  QTest::mouseClick(f.panel, Qt::LeftButton, {}, centre);
  EXPECT_EQ(f.pane(), "The core energy was corrected to 7200.eV.\nPlease confirm the value.");
  EXPECT_EQ(f.coreBox->text(), "7200.");
  EXPECT_EQ(f.parameters().core_energy, 7200);
  const QImage marked = f.picture();
  EXPECT_GT(marker_pixels(marked, centre.x()), 30);
  EXPECT_EQ(count_pixels(f.picture(), kSkyBluePen), 0);

  // Left of the frame: ignored.
  QTest::mouseClick(f.panel, Qt::LeftButton, {}, QPoint(3, centre.y()));
  EXPECT_EQ(f.coreBox->text(), "7200.");
  EXPECT_EQ(f.parameters().core_energy, 7200);
  EXPECT_EQ(count_pixels(f.picture(), kSkyBluePen), 0);

  // Enter in the box neither closes the dialog nor loses what was typed.
  f.type("7112.5");
  QTest::keyClick(f.coreBox, Qt::Key_Return);
  EXPECT_TRUE(f.dialog->isVisible());
  EXPECT_EQ(f.coreBox->text(), "7112.5");
  f.click("confirmXafsInfoButton");
  EXPECT_NE(f.pane().find("The core energy is 7112.5eV,"), std::string::npos) << f.pane();
  EXPECT_EQ(f.parameters().core_energy, 7112.5);

  f.click("completeXafsButton");
  EXPECT_TRUE(f.pane().starts_with("The parameter setting by XAFS was succesively\ndone."));
  EXPECT_TRUE(f.dialog->isVisible());
  f.click("okButton");
  EXPECT_FALSE(f.dialog->isVisible());
  EXPECT_EQ(f.dialog->result(), QDialog::Accepted);
}

// "Edge step" with its boxes reaches the load and its history line, and the
// panel draws the pre-edge line (blue) and the post-edge (green) over the
// measurement; "Divide by maximum" takes them away again.
TEST(ConvXAFSDialog, EdgeStepBoxesReachTheLoadAndItsLinesAreDrawn) {
  ConvFixture f;
  auto* edgeStep = f.dialog->findChild<QRadioButton*>("normaliseGroup1");
  auto* byMaximum = f.dialog->findChild<QRadioButton*>("normaliseGroup0");
  auto* pre1 = f.dialog->findChild<QLineEdit*>("pre1Box");
  auto* pre2 = f.dialog->findChild<QLineEdit*>("pre2Box");
  auto* norm1 = f.dialog->findChild<QLineEdit*>("norm1Box");
  ASSERT_TRUE(edgeStep && byMaximum && pre1 && pre2 && norm1);
  EXPECT_TRUE(byMaximum->isChecked());
  const QColor green(0, 150, 0);

  edgeStep->click();
  QTest::keyClicks(pre1, "-14");
  QTest::keyClicks(pre2, "-4");
  QTest::keyClicks(norm1, "40");
  f.type("7114");
  f.click("loadXafsButton");
  EXPECT_NE(f.pane().find("\nEdge step: "), std::string::npos) << f.pane();
  EXPECT_NE(f.pane().find("Pre-edge line: 7100 to 7110 eV"), std::string::npos) << f.pane();
  const std::string history = read_file(f.ws / "TALVERN_History.sh");
  EXPECT_TRUE(history.ends_with("talvern-cli xafs-load --normalise edge-step --e0 7114 --pre1 -14 "
                                "--pre2 -4 --norm1 40\n"))
      << history;
  const QImage drawn = f.picture();
  EXPECT_GT(count_pixels(drawn, kRedPen), 100);
  EXPECT_GT(count_pixels(drawn, kBluePen), 50);
  EXPECT_GT(count_pixels(drawn, green), 20);

  byMaximum->click();
  f.click("loadXafsButton");
  EXPECT_TRUE(read_file(f.ws / "TALVERN_History.sh").ends_with("talvern-cli xafs-load\n"));
  EXPECT_EQ(count_pixels(f.picture(), kBluePen), 0);
}

// Pixel column where the panel now draws energy `e`.
static int energyColumn(const PlotPanel* panel, double e) {
  if (!panel->axes()) {
    ADD_FAILURE() << "the panel has no axes";
    return -1;
  }
  return frame_column(talvern::plot::marker_frame_x(*panel->axes(), panel->view(), e),
                      panel->width());
}

// The marker of the core energy is kept as the energy: it stays on it
// through a zoom and a resize, and moves with a typed value.
TEST(ConvXAFSDialog, CoreEnergyMarkerKeepsItsEnergyThroughZoomResizeAndTyping) {
  ConvFixture f;
  f.click("loadXafsButton");
  f.click("edgeFromDataButton");
  const double e0 = std::stod(f.coreBox->text().toStdString());
  const QImage proposed = f.picture();
  ASSERT_EQ(f.panel->text().markers.size(), 1u);
  EXPECT_STREQ(f.panel->text().markers[0].label, "edge from data");
  const int unzoomed = energyColumn(f.panel, e0);
  EXPECT_GT(line_pixels(proposed, kMarkerPen, unzoomed), 60);

  // A drag from 20 pixels left of the marker to 40 right of it zooms in;
  // the marker stays on e0, which now lies elsewhere on the panel.
  QTest::mousePress(f.panel, Qt::LeftButton, {}, {unzoomed - 20, 10});
  QTest::mouseMove(f.panel, {unzoomed + 40, f.panel->height() - 10});
  QTest::mouseRelease(f.panel, Qt::LeftButton, {}, {unzoomed + 40, f.panel->height() - 10});
  ASSERT_FALSE(f.panel->view().full());
  const QImage zoomed = f.picture();
  const int column = energyColumn(f.panel, e0);
  EXPECT_GT(std::abs(column - unzoomed), 20);
  EXPECT_GT(line_pixels(zoomed, kMarkerPen, column), 60);
  EXPECT_LT(line_pixels(zoomed, kMarkerPen, unzoomed), 10);

  const int width = f.panel->width();
  f.dialog->resize(f.dialog->size() + QSize(240, 120));
  QTRY_VERIFY(f.panel->width() > width);
  EXPECT_GT(line_pixels(f.picture(), kMarkerPen, energyColumn(f.panel, e0)), 60);

  // A typed core energy moves the marker, named for what it now is.
  QTest::mouseDClick(f.panel, Qt::LeftButton, {}, {3, 3});
  f.type("7250");
  const QImage typed = f.picture();
  EXPECT_GT(line_pixels(typed, kMarkerPen, energyColumn(f.panel, 7250)), 60);
  EXPECT_LT(line_pixels(typed, kMarkerPen, energyColumn(f.panel, e0)), 10);
  ASSERT_EQ(f.panel->text().markers.size(), 1u);
  EXPECT_STREQ(f.panel->text().markers[0].label, "core energy");
}

// At 20 points, in the full view and zoomed, the readout under the mouse
// shows the very text a click there puts into "Core Energy (eV)".
TEST(ConvXAFSDialog, ReadoutShowsTheEnergyAClickSets) {
  ConvFixture f;
  f.click("loadXafsButton");
  f.picture();
  QString readout;
  QObject::connect(f.panel, &PlotPanel::readoutChanged, [&](const QString& t) { readout = t; });
  std::uint64_t seed = 2024;
  const auto next = [&seed](int n) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<int>((seed >> 33) % static_cast<std::uint64_t>(n));
  };
  for (int n = 0; n < 20; ++n) {
    const int w = f.panel->width(), h = f.panel->height();
    if (n == 10) {  // the second half in a zoomed view
      QTest::mousePress(f.panel, Qt::LeftButton, {}, {w / 3, 10});
      QTest::mouseMove(f.panel, {w / 2, h - 10});
      QTest::mouseRelease(f.panel, Qt::LeftButton, {}, {w / 2, h - 10});
      ASSERT_FALSE(f.panel->view().full());
    }
    // Inside the accepted area, x -96..96 of the frame.
    const int reach = 95 * w / 220;
    const QPoint at(w / 2 - reach + next(2 * reach), 15 + next(h - 30));
    QTest::mouseMove(f.panel, at);
    ASSERT_TRUE(readout.startsWith("E = ")) << qPrintable(readout);
    const QString energy = readout.section(' ', 2, 2);
    QTest::mouseClick(f.panel, Qt::LeftButton, {}, at);
    EXPECT_EQ(f.coreBox->text(), energy) << n << " at " << at.x() << "," << at.y();
  }
}
