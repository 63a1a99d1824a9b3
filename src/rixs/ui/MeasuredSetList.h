#pragma once
// The groups of the measured set, one row each: its line (group_line) and
// a "Remove" button (object name "remove:" and the group's word, e.g.
// "remove:exc:7115.6"). The rows scroll when there are more than fit.

#include <QScrollArea>

#include <functional>
#include <string>
#include <vector>

#include "command/sheet.h"
#include "workspace/measured_set.h"

class QVBoxLayout;

namespace talvern {

class MeasuredSetList : public QScrollArea {
 public:
  explicit MeasuredSetList(QWidget* parent = nullptr);

  // Shows the groups of `set`; the rows are made anew only when they change.
  void showSet(const MeasuredSet& set);
  // The lines shown, one a group.
  const std::vector<std::string>& lines() const { return lines_; }

  // Called with the word of the group whose "Remove" was clicked.
  std::function<void(const std::string& word)> removeClicked;
  // The files a "Remove" touches, for its tip.
  Touches removeTip;

 private:
  QVBoxLayout* rows_;
  std::vector<std::string> lines_, words_;
};

}  // namespace talvern
