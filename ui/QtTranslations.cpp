#include "ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QString>
#include <QTranslator>

bool InstallQtTranslations() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return false;
  // Owned by the application: it must outlive every dialog.
  auto* translator = new QTranslator(app);
  const QString name = QStringLiteral("qt_") + QString::fromLatin1(kProgramTextLanguage);
  if (!translator->load(name, QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}
