// A small INI engine: reads a tolerant INI text into one in-memory document and writes it back.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <array>
#include <memory>

namespace folivane {

enum class IniEntryKind : quint8 { Group, Comment, Key };

// One comment, group line or key line as parsed from a text; views into that text.
struct IniLine {
  IniEntryKind kind = IniEntryKind::Key;
  QByteArrayView name;   // group name, comment text or key
  QByteArrayView value;  // key value; empty for groups and comments
  qsizetype start = 0;   // offset of the line's first non-blank byte
  qsizetype end = 0;     // offset just past the line's last byte
};

// Reads a text line by line from a position on. Line ends are found with memchr and remembered,
// so a whole text costs one linear pass whatever its line lengths.
class IniLineScanner {
 public:
  explicit IniLineScanner(QByteArrayView text, qsizetype position = 0) : text_(text), position_(position) {}
  // Parses the next non-empty line and moves past it; false when only line ends and blanks remain.
  bool Next(IniLine& line);
  // As Next, but only lines whose first non-blank byte is one of `firstBytes` (at most three,
  // the same on every call): the text between them is searched with memchr, not parsed.
  bool NextStartingWith(QByteArrayView firstBytes, IniLine& line);

 private:
  // Moves past the next non-empty line; `start` is its first non-blank byte.
  bool SkipLine(qsizetype& start);
  // Parses the line from `start` up to the current position.
  void ParseLine(qsizetype start, IniLine& line) const;
  qsizetype NextLineEnd(qsizetype from);

  QByteArrayView text_;
  qsizetype position_;
  qsizetype nextCr_ = -1;
  qsizetype nextLf_ = -1;
  std::array<qsizetype, 3> nextFirstByte_ = {-1, -1, -1};
};

// Leading white space, an optional sign, then decimal digits up to the first other byte;
// no digits read as 0, and values beyond the 32-bit range saturate.
qint32 ParseIniInteger(QByteArrayView value);

// Every byte at or above 80 hex becomes its two-byte UTF-8 form.
QByteArray Latin1ToUtf8(QByteArrayView bytes);

// Both off in the tool's own files.
struct IniFormat {
  bool bareSeparator = false;          // "key=value" instead of "key = value"
  bool emptyLineBeforeGroups = false;  // an empty line before every group line but the first
};

// Holds at most one INI document with its open file. Opening or creating a document first closes
// the one before; closing writes a modified document back. Group names and keys compare with ASCII
// letter case folded. Writing replaces the file only once the new text is complete on disk.
class IniEngine {
 public:
  IniEngine();
  ~IniEngine();
  IniEngine(const IniEngine&) = delete;
  IniEngine& operator=(const IniEngine&) = delete;

  // True when an existing file was opened. Otherwise an empty document remembers the path,
  // so a later write creates the file.
  bool OpenIni(const QString& path);
  // Starts an empty document that replaces the file on closing. False, and no document,
  // when the file cannot be written.
  bool CreateIni(const QString& path);
  // An empty name selects the keys before the first group line. A name that is not in the document
  // becomes the pending group (false): reads give defaults, the first write appends the group.
  bool SelectGroup(const QString& name);
  qint32 ReadInteger(const QString& key, qint32 defaultValue);
  void WriteInteger(const QString& key, qint32 value);
  // Writes a modified document back and releases it. False only when a write was due and failed.
  bool CloseIni();

  void SetFormat(const IniFormat& format) { format_ = format; }

 private:
  struct Document;
  std::unique_ptr<Document> document_;
  IniFormat format_;
};

}  // namespace folivane
