// The RIXS Plane dialog's measured set and comparison: a cut and a HERFD
// loaded through their buttons and listed, one removed by its own button
// (as the shell's exp-set --remove, in the history), Compare filling the
// three maps, a click on a map picking the cuts, and the dialog's size.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "rixs/ui/CRIXSPlane.h"
#include "rixs/ui/CompareMapView.h"
#include "rixs/ui/MeasuredSetList.h"
#include "support/optim_workspace.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/measured_set.h"

namespace {

using namespace talvern;

// The pixels of the map's own area that show a point.
int shown_pixels(const PlanePicture& p) {
  const PlaneLayout& l = p.layout;
  int n = 0;
  for (int y = l.y0; y < l.y0 + l.h; ++y)
    for (int x = l.x0; x < l.x0 + l.w; ++x) n += !(p.pixel(x, y) == kEmptyColour);
  return n;
}

std::string last_history_line(const WorkSpace& ws) {
  std::string text = test::read_file(ws.file("TALVERN_History.sh"));
  if (!text.empty()) text.pop_back();
  return text.substr(text.rfind('\n') + 1);
}

TEST(PlaneCompareDialog, LoadsListsRemovesComparesAndFits) {
  test::TempDir tmp;
  WorkSpace ws{tmp.path() / "ws"};
  std::filesystem::create_directory(tmp.path() / "ws");
  test::make_optim_workspace(ws, true);
  // A cut at 7116 eV over 7050 ... 7062 eV and a HERFD at 7055 eV over 7110 ... 7116 eV.
  std::string cut, herfd;
  for (int i = 0; i <= 24; ++i) cut += std::to_string(7050 + 0.5 * i) + " " + std::to_string(1e-6 * (1 + i % 5)) + "\n";
  for (int i = 0; i <= 12; ++i) herfd += std::to_string(7110 + 0.5 * i) + " " + std::to_string(2e-6 * (1 + i % 3)) + "\n";
  const auto cut_file = tmp.file("cut.dat"), herfd_file = tmp.file("herfd.dat");
  test::write_file(cut_file, cut);
  test::write_file(herfd_file, herfd);
  CRIXSPlane d(ws, nullptr, UserFiles([&](const FileRequest& r) {
                 return std::optional(std::string(r.title) == "Add Exp. HERFD" ? herfd_file : cut_file);
               }));
  d.show();
  // The grown dialog still fits a 1366 x 768 screen, with room for the desktop's panel.
  for (const QSize size : {d.sizeHint(), d.minimumSize(), d.minimumSizeHint()}) {
    EXPECT_LE(size.width(), 1366);
    EXPECT_LE(size.height(), 740);
  }
  d.findChild<QTabWidget*>("planeTabs")->setCurrentIndex(1);

  const auto press = [&](const char* name) {
    QPushButton* b = d.findChild<QPushButton*>(name);
    ASSERT_NE(b, nullptr) << name;
    QTest::mouseClick(b, Qt::LeftButton);
  };
  d.findChild<QLineEdit*>("cutExcBox")->setText("7116");
  press("addExpCutButton");
  d.findChild<QLineEdit*>("herfdEmissionBox")->setText("7055");
  press("addExpHERFDButton");
  MeasuredSetList* list = d.measuredSetList();
  ASSERT_EQ(list->lines().size(), 2u);
  EXPECT_EQ(list->lines()[0].substr(0, 3), "exc");
  EXPECT_EQ(list->lines()[1].substr(0, 5), "herfd");
  EXPECT_EQ(last_history_line(ws), "talvern-cli load-exp-herfd " + herfd_file.string() + " --emission 7055");

  press("remove:exc:7116");
  ASSERT_EQ(list->lines().size(), 1u);
  EXPECT_EQ(list->lines()[0].substr(0, 5), "herfd");
  EXPECT_EQ(list->findChild<QPushButton*>("remove:exc:7116"), nullptr);
  const MeasuredSetRead stored = read_measured_set(ws.file(files::kPlaneExp));
  ASSERT_EQ(stored.set.groups.size(), 1u);
  EXPECT_EQ(stored.set.groups[0].kind, MeasuredKind::herfd);
  EXPECT_EQ(last_history_line(ws), "talvern-cli exp-set --remove exc:7116");

  // Nothing compared: the maps are empty. Compare fills all three.
  press("addExpCutButton");
  for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(shown_pixels(d.compareMap(k)->picture()), 0) << k;
  press("compareButton");
  ASSERT_TRUE(d.state().comparison);
  EXPECT_EQ(d.state().comparison->points(), 25u + 13u);
  for (std::size_t k = 0; k < 3; ++k) EXPECT_GT(shown_pixels(d.compareMap(k)->picture()), 100) << k;

  // A click on the difference map at the cut's point at 7052 eV picks it for
  // the three cuts.
  CompareMapView* map = d.compareMap(2);
  const PlaneLayout l = map->picture().layout;
  QTest::mouseClick(map, Qt::LeftButton, {},
                    QPoint(static_cast<int>(l.px_of(7116)), static_cast<int>(l.py_of(7052))));
  ASSERT_TRUE(d.state().compare_pick);
  EXPECT_EQ(d.state().comparison->emission[*d.state().compare_pick], 7052);
  EXPECT_TRUE(d.findChild<QLabel*>("excitationCutNote")->text().startsWith(
      "Constant excitation energy 7116 eV: R-Factor "));
  EXPECT_TRUE(d.findChild<QLabel*>("emissionCutNote")->text().startsWith(
      "Constant emission energy 7052 eV: fewer than two points"));
}

}  // namespace
