// Splitting a whole command line into parameters, and fetching them one after another.
#pragma once

#include <QString>
#include <QStringList>

namespace folivane {

// The parameters of a whole command line (program name first, as Windows hands it over), the
// program name left out. Only the blank separates; double quotes group and are removed; nothing escapes.
QStringList SplitCommandLine(const QString& commandLine);

// Hands out parameters in order; a fetch past the last one gives an empty text.
class ParameterCursor {
 public:
  explicit ParameterCursor(QStringList parameters) : parameters_(std::move(parameters)) {}
  qsizetype Count() const { return parameters_.size(); }
  QString Fetch();

 private:
  QStringList parameters_;
  qsizetype next_ = 0;
};

}  // namespace folivane
