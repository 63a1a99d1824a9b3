#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QListWidget>
#include <QTimer>

#include "gui/file_chooser.h"

namespace {

// The list of a project file's groups gives the rows selected, in order,
// and, for a load that merges, whether to align them; Cancel gives nothing.
TEST(GroupChooser, TheSelectedGroupsAreChosenAndCancelChoosesNone) {
  const std::vector<talvern::ProjectGroup> groups{
      {"a", "Fe foil", {7100, 7110}, {0.1, 0.5}},
      {"b", "Fe oxide", {7100}, {0.2}},
      {"c", "Fe foil 3", {7000}, {1.0}}};
  const std::filesystem::path file = "p.prj";
  const auto chooser = talvern::qt_group_chooser();
  const auto answer = [](bool accept) {
    QTimer::singleShot(0, [accept] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      ASSERT_TRUE(dialog);
      auto* list = dialog->findChild<QListWidget*>("projectGroups");
      ASSERT_TRUE(list);
      ASSERT_EQ(list->count(), 3);
      EXPECT_EQ(list->item(1)->text(), "#2 \"Fe oxide\": 1 point, 7100 to 7100 eV");
      list->item(0)->setSelected(false);
      list->item(2)->setSelected(true);
      list->item(1)->setSelected(true);
      if (auto* align = dialog->findChild<QCheckBox*>("alignGroups")) align->setChecked(true);
      accept ? dialog->accept() : dialog->reject();
    });
  };
  std::string error;
  answer(true);
  const auto chosen = chooser({"Load XRF", file, groups}, error);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, (std::vector<std::size_t>{1, 2}));
  bool align = false;
  answer(true);
  ASSERT_TRUE(chooser({"Load XRF", file, groups, &align}, error));
  EXPECT_TRUE(align);
  answer(false);
  EXPECT_FALSE(chooser({"Load XRF", file, groups}, error));
  EXPECT_EQ(error, "");
}

}  // namespace
