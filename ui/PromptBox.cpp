#include "ui/PromptBox.h"

#include <QMessageBox>
#include <QString>

#include "platform/duilib/modal_withdrawal.h"

void ShowPromptBox(const std::wstring& text, const std::wstring& caption) {
  WithdrawnBeforeHide<QMessageBox> box(QMessageBox::NoIcon, QString::fromStdWString(caption), QString::fromStdWString(text),
                  QMessageBox::Ok);
  box.setObjectName("PromptBox");
  box.exec();
}
