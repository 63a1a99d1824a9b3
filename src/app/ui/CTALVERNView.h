#pragma once
// The main form: the work-space button, the load buttons, the three workflow
// steps, the message pane and the title picture.

#include <string>

#include <QWidget>

#include "workspace/workspace.h"

class QPlainTextEdit;
class QPushButton;

class CTALVERNView : public QWidget {
  Q_OBJECT
 public:
  explicit CTALVERNView(talvern::WorkSpace ws, QWidget* parent = nullptr);

  const talvern::WorkSpace& workSpace() const { return ws_; }

  // Replaces the whole text of the message pane; "\r\n" starts a new line.
  void setMessage(const std::string& text);

 public slots:
  void constructWorkSpace();

 private:
  talvern::WorkSpace ws_;
  QPlainTextEdit* messagePane_ = nullptr;
};
