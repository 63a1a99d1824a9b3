#include "gui/ImportColumnsDialog.h"

#include <gtest/gtest.h>

#include <QComboBox>

namespace {

using talvern::ColumnChoice;
using talvern::ImportColumnsDialog;

TEST(ImportColumnsDialog, ProposesKeVNamesTheColumnsAndRemembersTheChoicePerCommand) {
  const std::string text =
      "# scan\n# E t I0 I1\n7.112 1 1000 500\n7.1125 1 1000 400\n";
  const talvern::TextLayout layout = talvern::sniff_columns(text);
  const std::string problem = "ERROR!!";
  const std::filesystem::path file = "scan.dat";
  const talvern::ColumnRequest request{"Load Conventional XAFS", 2, file, text, layout, problem};
  {
    ImportColumnsDialog dialog(request);
    EXPECT_EQ(dialog.unitBox()->currentText(), "keV");
    EXPECT_EQ(dialog.energyBox()->itemText(2), "c3 I0");
    EXPECT_FALSE(dialog.columnBox(0, true)->isEnabled());
    dialog.modeBox(0)->setCurrentIndex(2);
    EXPECT_TRUE(dialog.columnBox(0, true)->isEnabled());
    dialog.columnBox(0, false)->setCurrentIndex(2);
    dialog.columnBox(0, true)->setCurrentIndex(3);
    ColumnChoice expected{.energy = 0, .kev = true, .intensities = {{talvern::IntensityColumns::log_ratio, 2, 3}}};
    EXPECT_EQ(dialog.choice(), expected);
    dialog.remember();
  }
  // The same command starts with the last choice; another one does not.
  EXPECT_EQ(talvern::column_choice_text(ImportColumnsDialog(request).choice()), "1,ln(3/4)");
  const talvern::ColumnRequest xrf{"Load XRF", 2, file, text, layout, problem};
  EXPECT_EQ(talvern::column_choice_text(ImportColumnsDialog(xrf).choice()), "1,2");
  // The general import asks for two intensities.
  const talvern::ColumnRequest general{"Load General X-Y1-Y2 Data", 3, file, text, layout, problem};
  EXPECT_EQ(talvern::column_choice_text(ImportColumnsDialog(general).choice()), "1,2,3");
}

TEST(ImportColumnsDialog, AnXdiFileStartsFromTheColumnsItsNamesPropose) {
  const std::string text =
      "# XDI/1.0\n# Column.1: energy eV\n# Column.2: i0\n# Column.3: itrans\n"
      "7112 1000 500\n7113 1000 400\n";
  const talvern::TextLayout layout = talvern::sniff_columns(text);
  const std::string problem = "ERROR!!";
  const std::filesystem::path file = "fe.xdi";
  const talvern::ColumnRequest request{"Load Exp. RIXS", 2, file, text, layout, problem};
  ImportColumnsDialog dialog(request);
  EXPECT_EQ(dialog.energyBox()->itemText(2), "c3 itrans");
  EXPECT_EQ(talvern::column_choice_text(dialog.choice()), "1,ln(2/3)");
}

}  // namespace
