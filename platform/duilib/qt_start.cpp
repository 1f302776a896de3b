#include "platform/duilib/qt_start.h"

#include <QByteArray>
#include <QtGlobal>

void PrepareQtForWindows() {
  if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) qputenv("QT_XCB_GL_INTEGRATION", "none");
}
