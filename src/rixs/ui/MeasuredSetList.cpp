#include "rixs/ui/MeasuredSetList.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/form_widgets.h"

namespace talvern {

MeasuredSetList::MeasuredSetList(QWidget* parent) : QScrollArea(parent) {
  auto* inner = new QWidget(this);
  rows_ = new QVBoxLayout(inner);
  rows_->setContentsMargins(4, 2, 4, 2);
  rows_->setSpacing(0);
  rows_->addStretch(1);
  setWidget(inner);
  setWidgetResizable(true);
  setMinimumHeight(fontMetrics().height() * 4);
  showSet(MeasuredSet{});
}

void MeasuredSetList::showSet(const MeasuredSet& set) {
  std::vector<std::string> lines, words;
  for (const MeasuredGroup& g : set.groups) {
    lines.push_back(group_line(g));
    words.push_back(group_word(g));
  }
  if (lines == lines_ && words == words_ && rows_->count() > 1) return;
  lines_ = std::move(lines);
  words_ = std::move(words);
  // The old rows go at once from the widget tree (a button among them may
  // be the one whose click is being handled, so they are deleted later).
  while (rows_->count() > 1) {
    QLayoutItem* item = rows_->takeAt(0);
    if (QWidget* row = item->widget()) {
      row->hide();
      row->setParent(nullptr);
      row->deleteLater();
    }
    delete item;
  }
  QWidget* inner = widget();
  if (lines_.empty()) {
    auto* none = new QLabel("The measured set is empty.", inner);
    none->setEnabled(false);
    rows_->insertWidget(0, none);
    return;
  }
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    auto* row = new QWidget(inner);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* line = new QLabel(QString::fromStdString(lines_[i]), row);
    line->setObjectName("groupLine");
    QPushButton* remove =
        make_button("Remove", ("remove:" + words_[i]).c_str(), row);
    set_files_tip(remove, removeTip, "removes this group from the measured set");
    connect(remove, &QPushButton::clicked, this, [this, word = words_[i]] {
      if (removeClicked) removeClicked(word);
    });
    layout->addWidget(line, 1);
    layout->addWidget(remove);
    rows_->insertWidget(static_cast<int>(i), row);
  }
}

}  // namespace talvern
