#pragma once
// "Version INFO TALVERN": icon, program name and version, "OK".

#include <QDialog>

namespace talvern {

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace talvern
