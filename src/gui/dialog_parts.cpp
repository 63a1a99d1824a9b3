#include "gui/dialog_parts.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <vector>

#include "gui/form_widgets.h"
#include "gui/PlotPanel.h"

namespace talvern {

PlotPanel* make_panel(const char* name, QWidget* parent, int width, int height,
                      const UserFiles& files) {
  auto* panel = new PlotPanel(parent, files);
  panel->setObjectName(name);
  panel->setMinimumSize(width, height);
  return panel;
}

QHBoxLayout* make_recover_graphics_row(QWidget* parent, const std::vector<PlotPanel*>& panels) {
  auto* button = make_button("Recover Graphics", "recoverGraphicsButton", parent);
  set_files_tip(button, {}, "draws the panels again");
  auto* note = new QLabel("Click this button when graphics is disturbed", parent);
  note->setObjectName("recoverGraphicsNote");
  button->hide();
  note->hide();
  QObject::connect(button, &QPushButton::clicked, parent,
                   [list = panels] {
                     for (PlotPanel* panel : list) panel->redraw();
                   });
  auto* row = new QHBoxLayout;
  row->addWidget(button);
  row->addWidget(note);
  row->addStretch(1);
  return row;
}

void repaint_dialog(QWidget* dialog, const std::vector<PlotPanel*>& panels) {
  dialog->update();
  for (PlotPanel* panel : panels) panel->update();
}

QHBoxLayout* make_ok_cancel_row(QDialog* dialog) {
  auto* ok = make_button("OK", "okButton", dialog);
  auto* cancel = make_button("Cancel", "cancelButton", dialog);
  // What the dialog's commands wrote stays written, however it is closed.
  set_files_tip(ok, {}, "closes the dialog");
  set_files_tip(cancel, {}, "closes the dialog; what its commands wrote stays");
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(ok);
  row->addWidget(cancel);
  return row;
}

void size_message_pane(QPlainTextEdit* pane, const char* longest_line, int lines) {
  const QFontMetrics metrics = pane->fontMetrics();
  pane->setMinimumSize(metrics.horizontalAdvance(longest_line) + 40, lines * metrics.lineSpacing());
}

void set_text(QLineEdit* box, const std::string& text) {
  const QString shown = QString::fromStdString(text);
  if (box->text() != shown) box->setText(shown);
}

void set_checked_id(QButtonGroup* group, int id) {
  if (group->checkedId() == id) return;
  if (QAbstractButton* button = group->button(id)) {
    button->setChecked(true);
    return;
  }
  // An exclusive group refuses to uncheck its last checked button.
  const bool exclusive = group->exclusive();
  group->setExclusive(false);
  for (QAbstractButton* button : group->buttons()) button->setChecked(false);
  group->setExclusive(exclusive);
}

void sync_list(QComboBox* list, const std::vector<std::string>& entries) {
  if (list->count() > int(entries.size())) list->clear();
  for (int i = list->count(); i < int(entries.size()); ++i)
    list->addItem(QString::fromStdString(entries[i]));
}

void take_click_marker(std::optional<double>& marker, PlotPanel* panel) {
  if (!marker) return;
  panel->showClickMarker(*marker);
  marker.reset();
}

}  // namespace talvern
