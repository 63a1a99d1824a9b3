#pragma once
// The main window: menu, tool bar and status bar around the main form.

#include <QMainWindow>
#include <QStringList>

#include "workspace/workspace.h"

class QMenu;
class QToolBar;

namespace talvern {

class CTALVERNView;

// The study commands reach the study files through the form's UserFiles
// (CTALVERNView::setUserFiles).
class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  explicit CMainFrame(const WorkSpace& ws, QWidget* parent = nullptr);

  CTALVERNView* view() const { return view_; }

  // The recent studies, newest first, as the settings hold them.
  static QStringList recentStudies();

 public slots:
  void showAbout();
  // "Quick Tour" of the Help menu.
  void showQuickTour();
  void saveStudyAs();
  void openStudy();
  void openStudyFile(const QString& file);

 private:
  void rememberStudy(const std::string& file);
  void fillRecentStudies();

  QMenu* recentMenu_ = nullptr;
  CTALVERNView* view_ = nullptr;
  QToolBar* toolBar_ = nullptr;
};

}  // namespace talvern
