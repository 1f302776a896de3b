#include "ui/FolderPicker.h"

#include <QDir>
#include <QFileDialog>
#include <QString>
#include <QStringList>

#include "platform/duilib/modal_withdrawal.h"

namespace {

// What QFileDialog's own static choosers do, with a dialog that is withdrawn
// from the window manager before it hides.
QString Choose(QWidget* owner, const QString& title, const QString& filter, QFileDialog::FileMode mode) {
  WithdrawnBeforeHide<QFileDialog> dialog(owner, title, QString(), filter);
  dialog.setFileMode(mode);
  if (mode == QFileDialog::Directory) dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.first();
}

}  // namespace

std::optional<std::wstring> ChooseFolderWithDialog(QWidget* owner, const std::wstring& title) {
  const QString folder = Choose(owner, QString::fromStdWString(title), QString(), QFileDialog::Directory);
  if (folder.isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(folder).toStdWString();
}

std::optional<std::wstring> ChooseFileWithDialog(QWidget* owner, const std::wstring& filter) {
  const QString file = Choose(owner, QString(), QString::fromStdWString(filter), QFileDialog::ExistingFile);
  if (file.isEmpty()) return std::nullopt;
  return file.toStdWString();
}
