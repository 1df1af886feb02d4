// The paper of folivane-pdf: paper names as QPageSize knows them, and the system's default paper.
#pragma once

#include <QPageSize>
#include <QString>
#include <optional>

namespace folivane {

// The page size whose QPageSize key is `name` in any letter case ("a4", "Letter", "LEGAL", "A5");
// nothing for a name QPageSize does not know.
std::optional<QPageSize> PaperNamed(const QString& name);

// The paper the system prints on by the Debian convention: the PAPERSIZE environment variable,
// else the first word of `paperConfig` (/etc/papersize); empty when neither names one.
QString SystemPaperName(const QString& paperConfig = QStringLiteral("/etc/papersize"));

}  // namespace folivane
