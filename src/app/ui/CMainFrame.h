#pragma once
// The main window: menu, tool bar and status bar around the main form.

#include <QMainWindow>

#include "app/ui/CTALVERNDoc.h"
#include "workspace/workspace.h"

class QToolBar;
class CTALVERNView;

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  explicit CMainFrame(const talvern::WorkSpace& ws, QWidget* parent = nullptr);

  CTALVERNView* view() const { return view_; }

 public slots:
  void showAbout();

 private:
  CTALVERNDoc doc_;  // bound to this frame; it holds nothing
  CTALVERNView* view_ = nullptr;
  QToolBar* toolBar_ = nullptr;
};
