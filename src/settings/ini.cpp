#include "settings/ini.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

namespace folivane {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char kLineEnd[] = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsWhiteSpace(char c) { return IsBlank(c) || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Comments are dropped: nothing looks them up.
struct IniEntry {
  bool isGroup = false;
  QByteArray name;   // group name or key, in UTF-8
  QByteArray value;  // key value; empty for groups
};

// CR, LF or runs of them end a line; blanks lead into a line; ";" starts a comment; "[" opens a
// group named up to "]" or the line end; any other line is a key, up to "=" if there is one.
std::vector<IniEntry> ParseIni(QByteArray text) {
  std::vector<IniEntry> entries;
  for (const QByteArray& line : text.replace('\r', '\n').split('\n')) {
    qsizetype start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    if (start == line.size() || line[start] == ';') continue;
    if (line[start] == '[') {
      const qsizetype close = line.indexOf(']', start);
      entries.push_back({true, line.sliced(start + 1, (close < 0 ? line.size() : close) - start - 1), {}});
      continue;
    }
    const qsizetype equals = line.indexOf('=', start);
    qsizetype keyEnd = equals < 0 ? line.size() : equals;
    while (keyEnd > start && IsBlank(line[keyEnd - 1])) --keyEnd;
    qsizetype valueStart = equals < 0 ? line.size() : equals + 1;
    while (valueStart < line.size() && IsBlank(line[valueStart])) ++valueStart;
    entries.push_back({false, line.sliced(start, keyEnd - start), line.sliced(valueStart)});
  }
  return entries;
}

// QByteArray::toLower folds the ASCII letters only.
bool SameName(const QByteArray& a, const QByteArray& b) { return a.size() == b.size() && a.toLower() == b.toLower(); }

bool ReplaceFileContents(QSaveFile& file, const QByteArray& text) {
  if (!file.isOpen()) return false;
  // Only a regular file, or none yet, is replaced (through a link, its target): a device, FIFO
  // or socket under the file's name stays as it is. Looked at just before acting.
  const QFileInfo target(file.fileName());
  if (target.exists() && !target.isFile()) return false;
  // An unfinished file is discarded when `file` goes away; the old file stays as it was.
  if (file.write(text) != text.size()) return false;
  // QSaveFile::write only fills a buffer, and commit() does not notice a failed flush of it: on
  // a full disk the old file would be replaced by a cut-off one. Flush first and look.
  if (!file.flush() || file.error() != QFileDevice::NoError) return false;
  return file.commit();
}

}  // namespace

struct IniEngine::Document {
  std::vector<IniEntry> entries;
  std::size_t groupBody = 0;  // the selected group's first entry; 0 for the keys before any group
  std::optional<QByteArray> pendingGroup;
  std::unique_ptr<QSaveFile> newFile;  // only in a created document

  // The selected group ends at the next group line.
  std::vector<IniEntry>::iterator GroupEnd() {
    return std::find_if(entries.begin() + qsizetype(groupBody), entries.end(),
                        [](const IniEntry& entry) { return entry.isGroup; });
  }

  IniEntry* FindKey(const QByteArray& key) {
    const auto end = GroupEnd();
    const auto found = std::find_if(entries.begin() + qsizetype(groupBody), end,
                                    [&](const IniEntry& entry) { return SameName(entry.name, key); });
    return found == end ? nullptr : &*found;
  }

  QByteArray Compose() const {
    QByteArray out = QByteArray(kByteOrderMark) + kLineEnd;
    for (const IniEntry& entry : entries) {
      if (entry.isGroup) {
        out.append('[').append(entry.name).append(']');
      } else {
        out.append(entry.name).append(" = ").append(entry.value);
      }
      out.append(kLineEnd);
    }
    return out;
  }
};

qint32 ParseIniInteger(QByteArrayView value) {
  qsizetype i = 0;
  while (i < value.size() && IsWhiteSpace(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  // One past the largest magnitude is enough to know the value saturates.
  constexpr qint64 kCap = qint64(std::numeric_limits<qint32>::max()) + 2;
  qint64 magnitude = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    magnitude = std::min(magnitude * 10 + (value[i] - '0'), kCap);
  }
  return qint32(std::clamp<qint64>(negative ? -magnitude : magnitude, std::numeric_limits<qint32>::min(),
                                   std::numeric_limits<qint32>::max()));
}

IniEngine::IniEngine() = default;

IniEngine::~IniEngine() { CloseIni(); }

bool IniEngine::OpenIni(const QString& path) {
  CloseIni();
  document_ = std::make_unique<Document>();
  // Only a regular file is read: a pipe or device could block or never end.
  QFile file(path);
  if (path.isEmpty() || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.read(kMaxIniBytes);
  // Without a byte order mark the text is ISO 8859-1.
  document_->entries =
      ParseIni(bytes.startsWith(kByteOrderMark) ? bytes.sliced(3) : QString::fromLatin1(bytes).toUtf8());
  return true;
}

bool IniEngine::CreateIni(const QString& path) {
  CloseIni();
  if (path.isEmpty()) return false;
  auto file = std::make_unique<QSaveFile>(path);
  if (!file->open(QIODevice::WriteOnly)) return false;
  document_ = std::make_unique<Document>();
  document_->newFile = std::move(file);
  return true;
}

bool IniEngine::SelectGroup(const QString& name) {
  if (!document_) return false;
  Document& document = *document_;
  document.pendingGroup.reset();
  if (name.isEmpty()) {
    document.groupBody = 0;
    return true;
  }
  const QByteArray utf8Name = name.toUtf8();
  for (std::size_t i = 0; i < document.entries.size(); ++i) {
    if (document.entries[i].isGroup && SameName(document.entries[i].name, utf8Name)) {
      document.groupBody = i + 1;
      return true;
    }
  }
  document.pendingGroup = utf8Name;
  return false;
}

qint32 IniEngine::ReadInteger(const QString& key, qint32 defaultValue) const {
  if (!document_ || document_->pendingGroup) return defaultValue;
  const IniEntry* entry = document_->FindKey(key.toUtf8());
  return entry ? ParseIniInteger(entry->value) : defaultValue;
}

void IniEngine::WriteInteger(const QString& key, qint32 value) {
  if (!document_ || !document_->newFile) return;
  Document& document = *document_;
  if (document.pendingGroup) {
    document.entries.push_back({true, *document.pendingGroup, {}});
    document.groupBody = document.entries.size();
    document.pendingGroup.reset();
  }
  const QByteArray utf8Key = key.toUtf8();
  if (IniEntry* entry = document.FindKey(utf8Key)) {
    *entry = {false, utf8Key, QByteArray::number(value)};
  } else {
    document.entries.insert(document.GroupEnd(), {false, utf8Key, QByteArray::number(value)});
  }
}

bool IniEngine::CloseIni() {
  if (!document_) return true;
  const bool written = !document_->newFile || ReplaceFileContents(*document_->newFile, document_->Compose());
  document_.reset();
  return written;
}

}  // namespace folivane
