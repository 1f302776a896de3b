// prompt_reference <caption> <text> <picture.png>
// Shows a message box made the way the program makes its own (no owner, the
// caption, the text, an OK button in the program's language), takes its
// picture from the X server once
// it is painted, and ends; a test sets the program's box beside it.
#include <QApplication>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QWindow>
#include <cstdio>

#include "platform/duilib/qt_start.h"
#include "ui/QtTranslations.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  PrepareQtForWindows();
  QApplication application(argc, argv);
  InstallQtTranslations();
  // The program's windows all use this face where it is installed.
  const QString family = QStringLiteral("WenQuanYi Micro Hei");
  if (QFontDatabase().families().contains(family)) {
    QFont font = QApplication::font();
    font.setFamily(family);
    QApplication::setFont(font);
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(argv[1]), QString::fromUtf8(argv[2]), QMessageBox::Ok);
  box.show();
  while (!box.windowHandle() || !box.windowHandle()->isExposed())
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  // The paint goes out before the picture is asked for on the same
  // connection, so the server answers with the painted box.
  box.repaint();
  QApplication::processEvents();
  const QPixmap picture = box.screen()->grabWindow(box.winId());
  if (picture.isNull() || !picture.save(QString::fromUtf8(argv[3]), "PNG")) {
    std::fprintf(stderr, "prompt_reference: no picture of the box (%dx%d) saved to %s\n", picture.width(),
                 picture.height(), argv[3]);
    return 1;
  }
  return 0;
}
