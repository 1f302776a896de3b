// prompt_reference <caption> <text>
// Shows a message box made the way the program makes its own (no owner, the
// caption, the text, an OK button) until it is closed, so a test can set a
// screenshot of the program's box beside one whose text is known.
#include <QApplication>
#include <QFontDatabase>
#include <QMessageBox>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  QApplication application(argc, argv);
  // The program's windows all use this face where it is installed.
  const QString family = QStringLiteral("WenQuanYi Micro Hei");
  if (QFontDatabase().families().contains(family)) {
    QFont font = QApplication::font();
    font.setFamily(family);
    QApplication::setFont(font);
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(argv[1]), QString::fromUtf8(argv[2]), QMessageBox::Ok);
  box.exec();
  return 0;
}
