#pragma once
// Controls every TALVERN form and dialog builds the same way.

#include <initializer_list>
#include <string>

#include "command/sheet.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QString;
class QWidget;

namespace talvern {

// An edit box with its object name, at least `chars` digits wide (0: as
// the layout makes it).
QLineEdit* make_box(const QString& name, QWidget* parent, int chars = 0);

// A caption for `buddy` (the box it names), with an object name when given.
QLabel* make_label(const char* caption, QWidget* buddy, QWidget* parent, const char* name = nullptr);

// A push button with its caption and object name.
QPushButton* make_button(const char* caption, const char* name, QWidget* parent,
                         bool enabled = true);

// The tip of `w`: what it does, when given, then the files it reads and
// writes as the sheets declare them, a line each ("Reads A.DAT" /
// "Writes B.DAT"); "; " in `does` starts a line too.
void set_files_tip(QWidget* w, const Touches& touches, const std::string& does = {});

// A radio button with its caption and object name, added to `group` with `id`.
QRadioButton* make_radio(const char* caption, const QString& name, QButtonGroup* group, int id,
                         QWidget* parent);

// A row of radio buttons under `caption`, ids 0, 1, ... in the order of
// `captions`; the group is named `name`, its buttons `name` + id.
QGroupBox* make_radio_row(const char* caption, const char* name,
                          std::initializer_list<const char*> captions, QButtonGroup*& group,
                          QWidget* parent);

// The read-only "Message from TALVERN" pane (object name "messagePane"):
// asks for six lines, wraps at its width, scrolls when a message is longer.
// `label` receives the caption above it (object name "messageLabel").
QPlainTextEdit* make_message_pane(QWidget* parent, QLabel*& label);

// Replaces the pane's whole text; "\r\n" starts a new line.
void show_message(QPlainTextEdit* pane, const std::string& text);

}  // namespace talvern
