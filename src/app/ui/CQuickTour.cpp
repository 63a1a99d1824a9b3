#include "app/ui/CQuickTour.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>
#include <vector>

#include "gui/form_widgets.h"

namespace talvern {
namespace {

constexpr const char* kReadme = "README.md";
constexpr const char* kTourHeading = "## A first tour";
// The screenshots are shown at most this wide, so that the tour reads
// without scrolling sideways.
constexpr int kPictureWidth = 520;

// A markdown image: ![alt](path).
const QRegularExpression& image_link() {
  static const QRegularExpression re(R"(!\[([^\]]*)\]\(([^)\s]+)\))");
  return re;
}

}  // namespace

QString tour_section(const QString& readme) {
  const qsizetype start = readme.indexOf(QString("\n") + kTourHeading);
  if (start < 0) return {};
  const qsizetype end = readme.indexOf("\n## ", start + 1);
  return readme.mid(start + 1, end < 0 ? -1 : end - start - 1);
}

QStringList CQuickTour::readmeFolders() {
  const QString exe = QCoreApplication::applicationDirPath();
  QStringList folders{exe, exe + "/..", exe + "/../share/doc/talvern"};
#ifdef TALVERN_SOURCE_DIR
  folders << TALVERN_SOURCE_DIR;
#endif
  return folders;
}

CQuickTour::CQuickTour(QWidget* parent, QStringList folders) : QDialog(parent) {
  setWindowTitle("Quick Tour");
  setObjectName("quickTour");
  text_ = new QTextBrowser(this);
  text_->setObjectName("tourText");
  text_->setOpenExternalLinks(true);

  QString folder;
  for (const QString& f : folders) {
    QFile file(QDir(f).filePath(kReadme));
    if (file.open(QIODevice::ReadOnly)) {
      readme_ = QString::fromUtf8(file.readAll());
      folder = QFileInfo(file).absolutePath();
      break;
    }
  }
  QString tour = tour_section(readme_);
  std::vector<std::pair<QString, QImage>> pictures;
  if (tour.isEmpty()) {
    QString where;
    for (const QString& f : folders) where += "\n- " + QDir::cleanPath(QDir(f).absolutePath());
    tour = QString("**The tour could not be shown.** No %1 with a section \"%2\" was found; it was "
                   "looked for in:\n%3\n\nThe tour is the section \"A first tour with the sample "
                   "data\" of the README of the source folder.")
               .arg(kReadme, QString(kTourHeading).mid(3), where);
  } else {
    // The screenshots, from the README's folder, made narrow enough to read
    // beside the text; one that cannot be read is named in its place.
    QString shown;
    qsizetype from = 0;
    for (auto it = image_link().globalMatch(tour); it.hasNext();) {
      const QRegularExpressionMatch m = it.next();
      shown += tour.mid(from, m.capturedStart() - from);
      from = m.capturedEnd();
      const QString path = m.captured(2);
      QImage picture(QDir(folder).filePath(path));
      if (picture.isNull()) {
        missing_ << path;
        shown += QString("*(The screenshot %1 is missing: %2 cannot be read.)*")
                     .arg(m.captured(1), QDir(folder).filePath(path));
        continue;
      }
      if (picture.width() > kPictureWidth)
        picture = picture.scaledToWidth(kPictureWidth, Qt::SmoothTransformation);
      pictures.emplace_back(path, picture);
      shown += m.captured(0);
    }
    tour = shown + tour.mid(from);
  }
  text_->setMarkdown(tour);
  // The pictures are the document's resources under the README's relative
  // names (setting the text drops those added before).
  for (const auto& [path, picture] : pictures)
    text_->document()->addResource(QTextDocument::ImageResource, QUrl(path), picture);

  auto* close = make_button("Close", "closeButton", this);
  set_files_tip(close, {}, "closes the tour");
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_, 1);
  layout->addLayout(row);
  resize(kPictureWidth + 200, 600);
}

}  // namespace talvern
