#include "ui/PromptBox.h"

#include <QMessageBox>
#include <QString>

void ShowPromptBox(const std::wstring& text, const std::wstring& caption) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdWString(caption), QString::fromStdWString(text),
                  QMessageBox::Ok);
  box.setObjectName("PromptBox");
  box.exec();
}
