#include "gui/form_widgets.h"

#include <QLineEdit>

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QStringList>

namespace talvern {

QLineEdit* make_box(const QString& name, QWidget* parent, int chars) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  if (chars > 0) box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QString(chars, '0')) + 12);
  return box;
}

void set_files_tip(QWidget* w, const Touches& touches, const std::string& does) {
  // One line for each part: what it does, what it reads, what it writes.
  const std::string text = does.empty() ? touches_text(touches) : does + "; " + touches_text(touches);
  QStringList lines = QString::fromStdString(text).split("; ");
  for (QString& line : lines) line[0] = line[0].toUpper();
  w->setToolTip(lines.join("\n"));
}

QLabel* make_label(const char* caption, QWidget* buddy, QWidget* parent, const char* name) {
  auto* label = new QLabel(caption, parent);
  if (name) label->setObjectName(name);
  label->setBuddy(buddy);
  return label;
}

namespace {

// The message pane asks for a handful of lines; longer messages scroll.
class MessagePane : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;
  QSize sizeHint() const override {
    const int lines = 6;
    const int margins = 2 * frameWidth() + int(2 * document()->documentMargin());
    return {QPlainTextEdit::sizeHint().width(), lines * fontMetrics().lineSpacing() + margins};
  }
};

}  // namespace

QPushButton* make_button(const char* caption, const char* name, QWidget* parent, bool enabled) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setEnabled(enabled);
  return button;
}

QRadioButton* make_radio(const char* caption, const QString& name, QButtonGroup* group, int id,
                         QWidget* parent) {
  auto* radio = new QRadioButton(caption, parent);
  radio->setObjectName(name);
  group->addButton(radio, id);
  return radio;
}

QGroupBox* make_radio_row(const char* caption, const char* name,
                          std::initializer_list<const char*> captions, QButtonGroup*& group,
                          QWidget* parent) {
  auto* box = new QGroupBox(caption, parent);
  group = new QButtonGroup(box);
  group->setObjectName(name);
  auto* row = new QHBoxLayout(box);
  int id = 0;
  for (const char* c : captions) {
    row->addWidget(make_radio(c, QString(name) + QString::number(id), group, id, box));
    ++id;
  }
  return box;
}

QPlainTextEdit* make_message_pane(QWidget* parent, QLabel*& label) {
  label = new QLabel("Message from TALVERN", parent);
  label->setObjectName("messageLabel");
  auto* pane = new MessagePane(parent);
  pane->setObjectName("messagePane");
  pane->setReadOnly(true);
  pane->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  pane->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  pane->setMinimumHeight(3 * pane->fontMetrics().lineSpacing());
  label->setBuddy(pane);
  return pane;
}

void show_message(QPlainTextEdit* pane, const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  pane->setPlainText(shown);
}

}  // namespace talvern
