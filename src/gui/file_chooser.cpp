#include "gui/file_chooser.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QString>
#include <QStringList>

#include "gui/ImportColumnsDialog.h"
#include "workspace/study.h"
#include "workspace/workspace.h"

namespace talvern {
namespace {

// Folder of the last file chosen in this run; empty until the first choice.
QString& lastFolder() {
  static QString folder;
  return folder;
}

// Where the last folder and filter of a kind of file are kept between runs.
QString settingsKey(FileKind kind, const char* what) {
  const char* name = "data";
  switch (kind) {
    case FileKind::data: break;
    case FileKind::selective_xafs: name = "selective_xafs"; break;
    case FileKind::save_data: name = "save_data"; break;
    case FileKind::save_picture: name = "save_picture"; break;
    case FileKind::save_plot: name = "save_plot"; break;
    case FileKind::open_study: name = "open_study"; break;
    case FileKind::save_study: name = "save_study"; break;
  }
  return QString("FileDialogs/%1/%2").arg(name, what);
}

// The extension of a filter's first pattern ("SVG (*.svg)" gives "svg");
// empty for a filter of every file.
QString filterSuffix(const QString& filter) {
  const int open = filter.indexOf("(*."), close = filter.indexOf(')', open);
  if (open < 0 || close < 0) return {};
  QString suffix = filter.mid(open + 3, close - open - 3).section(' ', 0, 0);
  return suffix.contains('*') ? QString() : suffix;
}

QWidget* dialogParent() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

// File names go between Qt and the file system in the local encoding.
QString toQString(const std::filesystem::path& p) { return QFile::decodeName(p.c_str()); }

// A file dialog that opens a typed name of an existing file as typed, even
// when it lacks the default extension (which the dialog would add).
class OpenFileDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;
  QString typed;  // the existing file typed, when that was how the dialog closed

  void accept() override {
    // A name saved without extension gets the one of the filter chosen.
    if (acceptMode() == QFileDialog::AcceptSave)
      if (const QString suffix = filterSuffix(selectedNameFilter()); !suffix.isEmpty())
        setDefaultSuffix(suffix);
    if (acceptMode() == QFileDialog::AcceptOpen)
      if (auto* edit = findChild<QLineEdit*>("fileNameEdit"); edit && !edit->text().isEmpty()) {
        const QFileInfo file(directory(), edit->text());
        if (file.isFile()) {
          typed = file.absoluteFilePath();
          QDialog::accept();
          return;
        }
      }
    QFileDialog::accept();
  }
};

// The files the dialog gives for `request`, several when `several`; none
// when the user cancelled.
QStringList runFileDialog(const FileRequest& request, bool several) {
    OpenFileDialog dialog(dialogParent());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (*request.title) dialog.setWindowTitle(request.title);
    const bool save = request.kind == FileKind::save_data || request.kind == FileKind::save_picture ||
                      request.kind == FileKind::save_plot || request.kind == FileKind::save_study;
    if (save) {
      // Qt asks before an existing file is replaced.
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
    } else {
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(several ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    const QString data = "Data (*.DAT *.dat)";
    QStringList filters;
    const QString suffix = QString(request.suffix).mid(1);
    if (request.kind == FileKind::open_study || request.kind == FileKind::save_study) {
      filters << QString("TALVERN Study(*%1)").arg(kStudyExtension) << "All(*.*)";
      if (save) dialog.setDefaultSuffix(QString(kStudyExtension).mid(1));
    } else if (!suffix.isEmpty()) {
      filters << QString("%1 (*.%2)").arg(suffix.toUpper(), suffix);
      dialog.setDefaultSuffix(suffix);
    } else if (request.kind == FileKind::save_picture) {
      filters << "PNG (*.png)" << "SVG (*.svg)";
      dialog.setDefaultSuffix("png");
    } else if (request.kind == FileKind::selective_xafs) {
      filters << "WIEN2k (*.xspec *.xspecup *.xspecdn)" << data << "All (*)";
    } else {
      dialog.setDefaultSuffix("DAT");
      filters << data << "All (*)";
    }
    dialog.setNameFilters(filters);
    // A kind of file opens where its last file was chosen, with the filter
    // chosen then; a kind not chosen yet where the last file of any kind was.
    QSettings settings;
    const QString remembered = settings.value(settingsKey(request.kind, "filter")).toString();
    if (request.data_filter)
      dialog.selectNameFilter(data);
    else if (filters.contains(remembered))
      dialog.selectNameFilter(remembered);
    const QString folder = settings.value(settingsKey(request.kind, "folder")).toString();
    dialog.setDirectory(!folder.isEmpty() && QFileInfo(folder).isDir() ? folder
                        : lastFolder().isEmpty()                       ? toQString(initial_data_dir())
                                                                       : lastFolder());

    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.typed.isEmpty() ? dialog.selectedFiles() : QStringList{dialog.typed};
    if (!chosen.isEmpty()) {
      lastFolder() = QFileInfo(chosen.first()).absolutePath();
      settings.setValue(settingsKey(request.kind, "folder"), lastFolder());
      settings.setValue(settingsKey(request.kind, "filter"), dialog.selectedNameFilter());
    }
    return chosen;
}

std::filesystem::path toPath(const QString& file) {
  return std::filesystem::path(QFile::encodeName(file).toStdString());
}

}  // namespace

FileChooser qt_file_chooser() {
  return [](const FileRequest& request) -> std::optional<std::filesystem::path> {
    const QStringList chosen = runFileDialog(request, false);
    if (chosen.isEmpty()) return std::nullopt;
    return toPath(chosen.first());
  };
}

SeveralFilesChooser qt_several_files_chooser() {
  return [](const FileRequest& request) {
    ChosenFiles chosen;
    for (const QString& file : runFileDialog(request, true)) chosen.files.push_back(toPath(file));
    if (chosen.files.size() > 1)
      chosen.align = QMessageBox::question(
                         dialogParent(), request.title,
                         QString("Merge %1 scans into their mean.\n\nShift each scan first so that "
                                 "its steepest rise meets the first's?")
                             .arg(chosen.files.size()),
                         QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    return chosen;
  };
}

GroupChooser qt_group_chooser() {
  return [](const GroupRequest& request, std::string&) -> std::optional<std::vector<std::size_t>> {
    QDialog dialog(dialogParent());
    dialog.setWindowTitle(request.command);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(
        QString("Groups of %1 to load (several are merged into their mean):").arg(toQString(request.file.filename()))));
    auto* list = new QListWidget;
    list->setObjectName("projectGroups");
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    const QStringList lines = QString::fromStdString(group_list(request.groups)).split("\r\n", Qt::SkipEmptyParts);
    list->addItems(lines);
    if (list->count() > 0) list->setCurrentRow(0);
    layout->addWidget(list);
    QCheckBox* align = nullptr;
    if (request.align) {
      align = new QCheckBox("Shift each group first so that its steepest rise meets the first's");
      align->setObjectName("alignGroups");
      align->setChecked(*request.align);
      layout->addWidget(align);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::size_t> chosen;
    for (int row = 0; row < list->count(); ++row)
      if (list->item(row)->isSelected()) chosen.push_back(static_cast<std::size_t>(row));
    if (align) *request.align = align->isChecked();
    return chosen;
  };
}

UserFiles qt_user_files() {
  UserFiles files(qt_file_chooser(), qt_column_importer());
  files.choose_several = qt_several_files_chooser();
  files.choose_groups = qt_group_chooser();
  files.confirm_replace = [](const std::filesystem::path&, std::string_view why) {
    if (why.empty()) return true;  // the save dialog has asked
    const QString text =
        QString::fromStdString(std::string(why)).replace("\r\n", "\n") + "\n\nReplace the work-space?";
    return QMessageBox::question(dialogParent(), "Open Study...", text) == QMessageBox::Yes;
  };
  return files;
}

OpenFailureReporter qt_open_failure_reporter() {
  return [](const OpenFailure& failure) {
    QString text = QString::fromStdString(failure.text());
    text.replace("\r\n", "\n");
    QMessageBox::warning(dialogParent(), "TALVERN", text);
  };
}

}  // namespace talvern
