#include "platform/qt/QtEnvironment.h"

#include <QByteArray>
#include <QtGlobal>

void PrepareQtEnvironment() {
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", QByteArray("1"));
}
