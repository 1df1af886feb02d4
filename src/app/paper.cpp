#include "app/paper.h"

#include <QFile>
#include <QRegularExpression>

namespace folivane {

namespace {

// The paper file holds a name and perhaps comments; a longer file is no paper file.
constexpr qint64 kPaperConfigLimit = 4096;

}  // namespace

std::optional<QPageSize> PaperNamed(const QString& name) {
  for (int id = 0; id <= QPageSize::LastPageSize; ++id) {
    const auto sizeId = static_cast<QPageSize::PageSizeId>(id);
    if (sizeId == QPageSize::Custom) continue;
    if (QPageSize::key(sizeId).compare(name, Qt::CaseInsensitive) == 0) return QPageSize(sizeId);
  }
  return std::nullopt;
}

// libpaper reads the same two places, but falls back to US Letter where this tool keeps to A4,
// so the two are read here.
QString SystemPaperName(const QString& paperConfig) {
  const QString fromEnvironment = qEnvironmentVariable("PAPERSIZE").trimmed();
  if (!fromEnvironment.isEmpty()) return fromEnvironment;
  QFile file(paperConfig);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  const QString text = QString::fromUtf8(file.read(kPaperConfigLimit));
  static const QRegularExpression blank(QStringLiteral("\\s+"));
  for (const QString& line : text.split(u'\n')) {
    const QString content = line.trimmed();
    if (content.isEmpty() || content.startsWith(u'#')) continue;
    return content.split(blank).first();
  }
  return QString();
}

}  // namespace folivane
