// prompt_reference <caption> <text>
// Shows a message box made the way the program makes its own (no owner, the
// caption, the text, an OK button) until it is closed, so a test can set a
// screenshot of the program's box beside one whose text is known.
#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  QApplication application(argc, argv);
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(argv[1]), QString::fromUtf8(argv[2]), QMessageBox::Ok);
  box.exec();
  return 0;
}
