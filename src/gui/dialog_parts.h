#pragma once
// Pieces the dialogs with plot panels share: the panels, the hidden
// "Recover Graphics" button, the OK/Cancel row, and the copy of command
// state back into edit boxes, radio groups and panels.

#include <optional>
#include <string>
#include <vector>

#include "gui/form_widgets.h"
#include "workspace/user_file.h"

class QButtonGroup;
class QComboBox;
class QDialog;
class QHBoxLayout;
class QLineEdit;
class QWidget;

namespace talvern {

class PlotPanel;

// A plot panel with its object name that opens at `width` x `height`
// pixels (its minimum size) and saves into files asked for through `files`.
PlotPanel* make_panel(const char* name, QWidget* parent, int width, int height,
                      const UserFiles& files);

// "Recover Graphics" (object name "recoverGraphicsButton") and its note
// "Click this button when graphics is disturbed" ("recoverGraphicsNote"),
// both created hidden, side by side in the returned row. The button draws
// `panels` again at once, as a paint does.
QHBoxLayout* make_recover_graphics_row(QWidget* parent, const std::vector<PlotPanel*>& panels);

// "OK" ("okButton") and "Cancel" ("cancelButton") at the right; they close
// `dialog` and do nothing else.
QHBoxLayout* make_ok_cancel_row(QDialog* dialog);

// Makes the message pane wide enough for `longest_line` and tall enough for
// `lines` lines; longer messages scroll.
void size_message_pane(QPlainTextEdit* pane, const char* longest_line, int lines);

// Sets the box's text unless it already shows it (keeps the cursor).
void set_text(QLineEdit* box, const std::string& text);

// Checks the button with `id`; an id without a button leaves none checked.
void set_checked_id(QButtonGroup* group, int id);

// Makes the list show `entries`: entries added at the end are appended, a
// list that shrank is filled anew.
void sync_list(QComboBox* list, const std::vector<std::string>& entries);

// Asks for a repaint of the whole dialog, its panels included: a panel
// paints opaquely, so the dialog's own repaint leaves it as it was.
void repaint_dialog(QWidget* dialog, const std::vector<PlotPanel*>& panels);

// Shows a click marker a command asked for, once.
void take_click_marker(std::optional<double>& marker, PlotPanel* panel);

}  // namespace talvern
