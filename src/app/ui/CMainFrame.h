#pragma once
// The main window: menu, tool bar and status bar around the main form.

#include <functional>

#include <QMainWindow>
#include <QStringList>

#include "workspace/workspace.h"

class QMenu;
class QToolBar;
class CTALVERNView;

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  explicit CMainFrame(const talvern::WorkSpace& ws, QWidget* parent = nullptr);

  CTALVERNView* view() const { return view_; }

  // How the study commands ask for a study file (empty: cancelled) and
  // whether the work-space may be replaced. Default: the Qt file dialog and
  // a question box.
  using StudyChooser = std::function<QString(bool save)>;
  using ReplaceQuestion = std::function<bool(const QString& text)>;
  void setStudyChooser(StudyChooser choose) { chooseStudy_ = std::move(choose); }
  void setReplaceQuestion(ReplaceQuestion ask) { askReplace_ = std::move(ask); }

  // The recent studies, newest first, as the settings hold them.
  static QStringList recentStudies();

 public slots:
  void showAbout();
  void saveStudyAs();
  void openStudy();
  void openStudyFile(const QString& file);

 private:
  QString chooseStudyFile(bool save);
  void rememberStudy(const QString& file);
  void fillRecentStudies();

  StudyChooser chooseStudy_;
  ReplaceQuestion askReplace_;
  QMenu* recentMenu_ = nullptr;
  CTALVERNView* view_ = nullptr;
  QToolBar* toolBar_ = nullptr;
};
