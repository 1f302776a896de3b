#include "ui/FolderPicker.h"

#include <QDir>
#include <QFileDialog>
#include <QString>

std::optional<std::wstring> ChooseFolderWithDialog(QWidget* owner, const std::wstring& title) {
  const QString folder = QFileDialog::getExistingDirectory(owner, QString::fromStdWString(title), QString(),
                                                           QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(folder).toStdWString();
}
