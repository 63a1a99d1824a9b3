#pragma once
// "Quick Tour" of the Help menu: the README's first tour with its
// screenshots, read at run time from the README beside the program (or in
// the source folder it was built from).

#include <QDialog>
#include <QString>
#include <QStringList>

class QTextBrowser;

namespace talvern {

class CQuickTour : public QDialog {
  Q_OBJECT
 public:
  // Shows the tour of the first README.md found in `folders` (default:
  // readmeFolders()); a dialog that says where it looked when there is none.
  explicit CQuickTour(QWidget* parent = nullptr, QStringList folders = readmeFolders());

  // Where the README is looked for, in order: beside the executable, the
  // folder above it (the build folder lies in the source folder), the
  // installed documentation and the source folder of the build.
  static QStringList readmeFolders();

  // The README read, or empty when none of the folders holds one.
  const QString& readme() const { return readme_; }
  // The screenshots the tour names that could not be read.
  const QStringList& missingPictures() const { return missing_; }

 private:
  QTextBrowser* text_ = nullptr;
  QString readme_;
  QStringList missing_;
};

// The tour of a README's text: from its heading "## A first tour" to the
// next heading of that level; empty when there is none.
QString tour_section(const QString& readme);

}  // namespace talvern
