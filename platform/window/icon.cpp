// CIcon: icons from the compiled-in resources.
#include "platform/window/icon.h"

#include <QFile>

QString CIcon::ResourcePath(int id, int size) {
  return QStringLiteral(":/quembrel/icon/%1-%2.png").arg(id).arg(size);
}

bool CIcon::LoadResource(int id) {
  QIcon loaded;
  for (int size : kSizes) {
    const QString path = ResourcePath(id, size);
    if (QFile::exists(path)) {
      loaded.addFile(path, QSize(size, size));
    }
  }
  icon = loaded;
  return !icon.isNull();
}
