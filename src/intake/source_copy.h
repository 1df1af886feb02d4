// Source intake: reads the IDE's temporary source copy into lines, takes the IDE version, deletes the copy.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "intake/line_reader.h"

namespace folivane {

// The line that starts the IDE options block the IDE appends to a saved source.
inline constexpr char16_t kIdeOptionsMarker[] = u"; IDE Options =";
inline constexpr int kIdeOptionsMarkerLength = 15;

struct SourceText {
  QStringList lines;   // element k is source line k + 1, without its terminator
  QString ideVersion;  // from the last marker line, leading blank kept; empty without one
};

// Keep: the batch renderer reads a user's file, never deletes it.
enum class CopyDisposal { Delete, Keep };

// Reads every line of `source`; lines from the first marker line on stay out of `out.lines`,
// and each marker line sets `out.ideVersion` again. `out` is cleared first.
void ReadSourceLines(ByteSource& source, SourceText& out);

// The version text of a marker line: after the marker up to the next "=" or the end.
QString IdeVersionOf(const QString& markerLine);

// Reads the copy at `copyPath` into `out` (cleared first), closes it and, with Delete, deletes it.
// A path without a file-name part is left alone. Only a regular file (or a symbolic link to one)
// is read; anything else is neither read nor deleted. A copy that another process holds locked is
// neither read nor deleted, and a copy that is the same file as `sourcePath` is never deleted.
// Returns true when the copy was opened and read (even if empty).
bool ReadSourceCopy(const QString& copyPath, const QString& sourcePath, SourceText& out,
                    CopyDisposal disposal = CopyDisposal::Delete);

// The same, with the line reader taking the opened copy through the source that `throughSource`
// returns; a test makes a read fail in the middle of the copy with it.
using CopySourceWrapper = std::function<std::unique_ptr<ByteSource>(ByteSource& copy)>;
bool ReadSourceCopy(const QString& copyPath, const QString& sourcePath, SourceText& out,
                    CopyDisposal disposal, const CopySourceWrapper& throughSource);

// The file-name part of a path: after the last "\" or "/" (else after one leading double quote),
// up to the next double quote. Empty when the path ends with a separator.
QString FileNamePart(const QString& path);

}  // namespace folivane
