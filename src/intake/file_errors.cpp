#include "intake/file_errors.h"

#include <cerrno>
#include <cstring>

namespace folivane {

QString FileErrorReason(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return QStringLiteral("no such file");
    case EACCES:
    case EPERM: return QStringLiteral("permission denied");
    case EISDIR: return QStringLiteral("is a folder");
    case EROFS: return QStringLiteral("read-only file system");
    case ENOSPC: return QStringLiteral("no space left on the disk");
#ifdef EDQUOT
    case EDQUOT: return QStringLiteral("disk quota exceeded");
#endif
    case EFBIG: return QStringLiteral("file too large");
    case ENAMETOOLONG: return QStringLiteral("name too long");
    case ELOOP: return QStringLiteral("too many symbolic links");
    case ENXIO:
    case ENODEV: return QStringLiteral("no such device, or no reader on it");
    default: break;
  }
  QString text = QString::fromLocal8Bit(std::strerror(error));
  if (!text.isEmpty()) text[0] = text[0].toLower();
  return text;
}

}  // namespace folivane
