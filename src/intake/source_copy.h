// Source intake: reads the IDE's temporary source copy into lines, takes the IDE version, deletes the copy.
#pragma once

#include <QString>
#include <QStringList>

#include "intake/line_reader.h"
#include "intake/text_decoding.h"

namespace folivane {

// The line that starts the IDE options block the IDE appends to a saved source.
inline constexpr char16_t kIdeOptionsMarker[] = u"; IDE Options =";
inline constexpr int kIdeOptionsMarkerLength = 15;

struct SourceText {
  QStringList lines;   // element k is source line k + 1, without its terminator
  QString ideVersion;  // from the last marker line, leading blank kept; empty without one
  // The decoded copy. The lines read from a copy refer to its characters instead of holding
  // their own (16 million short lines would otherwise cost gigabytes), so whoever keeps the lines
  // keeps this text too; a copy of it shares the characters and keeps them alive.
  QString text;
  QByteArray encoding;    // the encoding the copy was decoded from
  bool cutShort = false;  // bytes or lines beyond the bounds below were left out
};

// Bounds of the intake: a real source is a few megabytes at most; a copy that keeps growing or a
// file that reads on for ever must not take all memory.
inline constexpr qint64 kMaxCopyBytes = qint64(256) * 1024 * 1024;
inline constexpr qsizetype kMaxCopyLines = 16'000'000;

struct IntakeOptions {
  qint64 maxBytes = kMaxCopyBytes;
  qsizetype maxLines = kMaxCopyLines;
  QByteArray encoding = kAutomaticEncoding;
};

// Keep: the batch renderer reads a user's file, never deletes it.
enum class CopyDisposal { Delete, Keep };

// Reads `source` (at most options.maxBytes of it), decodes it and splits it into lines; lines from
// the first marker line on stay out of `out.lines`, and each marker line sets `out.ideVersion`
// again. At most options.maxLines lines are kept. `out` is cleared first.
void ReadSourceLines(ByteSource& source, SourceText& out, const IntakeOptions& options = {});

// The version text of a marker line: after the marker up to the next "=" or the end.
QString IdeVersionOf(const QString& markerLine);

struct CopyReading {
  CopyDisposal disposal = CopyDisposal::Delete;
  IntakeOptions options;
};

// Reads the copy at `copyPath` into `out` (cleared first), closes it and, with Delete, deletes it.
// Paths are the platform's own bytes. A path without a file-name part is left alone. Only a
// regular file (or a symbolic link to one) is read, and no more of it than its size when opened;
// anything else is neither read nor deleted. A copy that another process holds locked is neither
// read nor deleted. The deletion happens only while the path still names the file that was read
// (or, when it could not be opened, the file found there at first) and that file is not the same
// as `sourcePath`'s. Returns true when the copy was opened and read (even if empty).
bool ReadSourceCopy(const QByteArray& copyPath, const QByteArray& sourcePath, SourceText& out,
                    const CopyReading& how = {});

// Reads a file that a person named, which is never deleted: a regular file (no more of it than
// its size when opened), or a pipe, FIFO or socket read to its end; "-" is standard input. The
// bounds of `options` hold for both. Returns an empty text when the file was read (even if
// empty), else why not: "no such file", "is a folder", "is a device", "permission denied", ...
QString ReadSourceFile(const QByteArray& path, SourceText& out, const IntakeOptions& options = {});

// The file-name part of a path: after the last "\" or "/" (else after one leading double quote),
// up to the next double quote. Empty when the path ends with a separator.
QString FileNamePart(const QString& path);

}  // namespace folivane
