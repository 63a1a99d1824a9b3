#include "gui/CommandDialog.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QShowEvent>

namespace talvern {

void TalvernDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // What was typed stays in its box; nothing is pressed, nothing closes.
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TalvernDialog::showEvent(QShowEvent* event) {
  // In a dialog every push button would otherwise take Enter while it has
  // the focus, and the dialog would hand Enter to its default button.
  for (QPushButton* button : findChildren<QPushButton*>()) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
  QDialog::showEvent(event);
}

}  // namespace talvern
