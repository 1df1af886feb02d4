// A small INI engine: reads a tolerant INI text, and writes a new one in place of a file.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <memory>

namespace folivane {

// Leading white space, an optional sign, then decimal digits up to the first other byte;
// no digits read as 0, and values beyond the 32-bit range saturate.
qint32 ParseIniInteger(QByteArrayView value);

// How much of a file is read. The settings file is 47 bytes; a file that reads on for ever (a
// link into /proc, a huge file) is read only this far.
inline constexpr qint64 kMaxIniBytes = 64 * 1024;

// Holds at most one INI document: one read from a file, or one created to replace a file.
// Opening or creating a document first closes the one before. Group names and keys compare with
// ASCII letter case folded. A document read from a file is only read, never written back.
class IniEngine {
 public:
  IniEngine();
  ~IniEngine();
  IniEngine(const IniEngine&) = delete;
  IniEngine& operator=(const IniEngine&) = delete;

  // Reads the first kMaxIniBytes of a regular file; true when one was read. Otherwise the document is
  // empty, as for an empty file.
  bool OpenIni(const QString& path);
  // Starts an empty document that replaces the file on closing. False, and no document,
  // when the file cannot be written.
  bool CreateIni(const QString& path);
  // An empty name selects the keys before the first group line. A name that is not in the document
  // becomes the pending group (false): reads give defaults, the first write appends the group.
  bool SelectGroup(const QString& name);
  qint32 ReadInteger(const QString& key, qint32 defaultValue) const;
  // Sets the key in the selected group of a created document; does nothing to a document read.
  void WriteInteger(const QString& key, qint32 value);
  // Writes a created document and releases the document. False only when that write failed.
  bool CloseIni();

 private:
  struct Document;
  std::unique_ptr<Document> document_;
};

}  // namespace folivane
