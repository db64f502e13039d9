// Writes pictures of Tidwen's windows for the documentation:
//   form1.png          the main window at start, choosing junk types
//   form1-results.png  the results view after a scan of a small sample drive
//   form2.png          the about window
//
//   tidwen-screenshots <output directory>
//
// Runs headless (Qt's offscreen platform unless QT_QPA_PLATFORM says
// otherwise). The sample drive is a temporary directory standing in as c:,
// removed at the end.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

#include "frontend/qt/form1.h"
#include "frontend/qt/form2.h"
#include "frontend/qt/list_box.h"
#include "platform/platform.h"

namespace {

bool WriteSampleFile(const QString& path, const QByteArray& content) {
  if (!QDir().mkpath(QFileInfo(path).path())) return false;
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// A small drive with junk of several kinds among ordinary files.
bool MakeSampleDrive(const QString& root) {
  const char* const junk[] = {"备份.bak",          "文档/报告.doc.bak", "文档/草稿.txt~",
                              "文档/合同.WBK",     "临时/~WRL0001.tmp", "临时/setup._mp",
                              "临时/install.$$$",  "下载/旧版本.old",   "系统/help.gid",
                              "系统/FILE0001.CHK", "系统/index.fts",    "下载/表格.xlk"};
  const char* const ordinary[] = {"说明.txt", "文档/报告.doc", "下载/setup.exe", "系统/config.ini"};
  for (const char* name : junk) {
    if (!WriteSampleFile(root + '/' + QString::fromUtf8(name), "junk")) return false;
  }
  for (const char* name : ordinary) {
    if (!WriteSampleFile(root + '/' + QString::fromUtf8(name), "keep")) return false;
  }
  return WriteSampleFile(root + QStringLiteral("/临时/空文件.txt"), QByteArray());
}

bool Save(QWidget& window, const QDir& dir, const char* name) {
  QApplication::processEvents();
  const bool ok = window.grab().save(dir.filePath(QString::fromUtf8(name)), "PNG");
  if (!ok) std::fprintf(stderr, "could not write %s\n", name);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tidwen"));
  QApplication::setStyle(QStringLiteral("Fusion"));
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  // Absolute, since the working directory changes below.
  const QDir out(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath());

  QTemporaryDir drive(QDir::tempPath() + QStringLiteral("/sample-XXXXXX"));
  if (!drive.isValid() || !MakeSampleDrive(drive.path())) {
    std::fprintf(stderr, "could not make the sample drive\n");
    return 1;
  }
  // Start in one of the drive's directories, as a user would.
  QDir::setCurrent(drive.path() + QStringLiteral("/文档"));

  const std::unique_ptr<tidwen::Platform> platform =
      tidwen::MakeDirectoryPlatform(drive.path().toStdString());
  tidwen::qt::Form1 form(*platform);
  form.SetQuitHook([] {});
  form.show();
  bool ok = Save(form, out, "form1.png");

  form.Command1_Click();
  // Check a few results, as a user about to delete them would.
  auto* list1 = form.findChild<tidwen::qt::ListBox*>(QStringLiteral("List1"));
  for (std::int64_t i = 0; list1 && i < list1->ListCount(); i += 3) list1->SetSelected(i, true);
  ok = Save(form, out, "form1-results.png") && ok;

  form.Command6_Click();
  ok = form.AboutWindow() && Save(*form.AboutWindow(), out, "form2.png") && ok;
  QDir::setCurrent(QDir::tempPath());
  return ok ? 0 : 1;
}
