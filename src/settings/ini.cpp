#include "settings/ini.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <vector>

namespace folivane {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char kLineEnd[] = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

bool IsWhiteSpace(char c) { return IsBlank(c) || IsLineEnd(c) || c == '\v' || c == '\f'; }

char FoldAsciiCase(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualFoldingAsciiCase(QByteArrayView a, QByteArrayView b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  }
  return true;
}

struct IniEntry {
  IniEntryKind kind;
  QByteArray name;
  QByteArray value;
};

// Where a group line sits and where its entries begin: byte offsets into the unparsed text,
// or entry indexes once the entries are built.
struct GroupPosition {
  qsizetype header = 0;
  qsizetype body = 0;
};

// The settings file is 47 bytes; a file that reads on for ever (a link into /proc, a huge
// file) is read only this far.
constexpr qint64 kMaxIniBytes = 64 * 1024;

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

// A document read from a file is kept as its text and parsed on each lookup, so a huge file
// costs one linear scan per lookup and no memory per line. The first write turns the text
// into entries, which are then edited in place. A text without byte order mark stays in
// ISO 8859-1 until then: every byte that shapes a line is ASCII in both encodings, so lookups
// compare it with names in ISO 8859-1, and only the entries are converted to UTF-8.
struct IniEngine::Document {
  QByteArray text;
  bool textIsLatin1 = false;
  std::vector<IniEntry> entries;
  bool entriesBuilt = false;
  std::optional<GroupPosition> currentGroup;
  std::optional<QByteArray> pendingGroup;
  bool utf8 = true;
  bool modified = false;
  bool readInPart = false;  // the file goes on beyond what was read, so it is never written back
  std::unique_ptr<QFile> readFile;
  std::unique_ptr<QSaveFile> newFile;
  QString pathToCreate;

  // Calls visit(line) for each line from `from` on until it returns false. Given `firstBytes`,
  // lines of the unparsed text that begin with another byte are passed over unseen.
  template <typename Visit>
  void VisitLines(qsizetype from, QByteArrayView firstBytes, Visit visit) const {
    IniLine line;
    if (entriesBuilt) {
      for (auto i = std::size_t(from); i < entries.size(); ++i) {
        line.kind = entries[i].kind;
        line.name = entries[i].name;
        line.value = entries[i].value;
        line.start = qsizetype(i);
        line.end = qsizetype(i) + 1;
        if (!visit(line)) return;
      }
      return;
    }
    IniLineScanner scanner(text, from);
    while (firstBytes.isEmpty() ? scanner.Next(line) : scanner.NextStartingWith(firstBytes, line)) {
      if (!visit(line)) return;
    }
  }

  // A group name or key in the encoding of what it is compared with; none when it cannot occur
  // in an ISO 8859-1 text.
  std::optional<QByteArray> LookupForm(const QString& name) const {
    if (entriesBuilt || !textIsLatin1) return name.toUtf8();
    if (std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() > 0xFF; })) return {};
    return name.toLatin1();
  }

  std::optional<GroupPosition> FindGroup(QByteArrayView name) const {
    std::optional<GroupPosition> found;
    VisitLines(0, "[", [&](const IniLine& line) {
      if (line.kind != IniEntryKind::Group || !EqualFoldingAsciiCase(line.name, name)) return true;
      found = GroupPosition{line.start, line.end};
      return false;
    });
    return found;
  }

  std::optional<IniLine> FindKeyInCurrentGroup(QByteArrayView key) const {
    std::optional<IniLine> found;
    // The group ends at the next line that begins with "["; a matching key line begins with the
    // key's first byte in either letter case, or with "=" for an empty key.
    QByteArray firstBytes = "[";
    const char keyFirst = key.isEmpty() ? '=' : key.front();
    if (!IsBlank(keyFirst) && !IsLineEnd(keyFirst)) {
      firstBytes.append(keyFirst);
      if (keyFirst >= 'a' && keyFirst <= 'z') firstBytes.append(char(keyFirst - 'a' + 'A'));
      if (keyFirst >= 'A' && keyFirst <= 'Z') firstBytes.append(char(keyFirst - 'A' + 'a'));
    }
    VisitLines(currentGroup ? currentGroup->body : 0, firstBytes, [&](const IniLine& line) {
      if (line.kind == IniEntryKind::Group) return false;
      if (line.kind != IniEntryKind::Key || !EqualFoldingAsciiCase(line.name, key)) return true;
      found = line;
      return false;
    });
    return found;
  }

  void BuildEntries() {
    if (entriesBuilt) return;
    std::optional<GroupPosition> current;
    VisitLines(0, QByteArrayView(), [&](const IniLine& line) {
      if (currentGroup && line.start == currentGroup->header) {
        const auto index = qsizetype(entries.size());
        current = GroupPosition{index, index + 1};
      }
      if (textIsLatin1) {
        entries.push_back({line.kind, Latin1ToUtf8(line.name), Latin1ToUtf8(line.value)});
      } else {
        entries.push_back({line.kind, line.name.toByteArray(), line.value.toByteArray()});
      }
      return true;
    });
    currentGroup = current;
    text = QByteArray();
    textIsLatin1 = false;
    entriesBuilt = true;
  }

  QByteArray Compose(const IniFormat& format) const {
    QByteArray out;
    if (utf8) out.append(kByteOrderMark).append(kLineEnd);
    const QByteArrayView separator = format.bareSeparator ? "=" : " = ";
    bool firstGroup = true;
    for (const IniEntry& entry : entries) {
      switch (entry.kind) {
        case IniEntryKind::Group:
          if (format.emptyLineBeforeGroups && !firstGroup) out.append(kLineEnd);
          firstGroup = false;
          out.append('[').append(entry.name).append(']');
          break;
        case IniEntryKind::Comment:
          out.append("; ").append(entry.name);
          break;
        case IniEntryKind::Key:
          out.append(entry.name).append(separator).append(entry.value);
          break;
      }
      out.append(kLineEnd);
    }
    return out;
  }
};

namespace {

// Most lines are short: a plain loop finds their end sooner than a library call would start.
constexpr qsizetype kShortScan = 64;

const char* FindByte(QByteArrayView text, char c) {
  const qsizetype head = std::min(text.size(), kShortScan);
  for (qsizetype i = 0; i < head; ++i) {
    if (text[i] == c) return text.data() + i;
  }
  if (head == text.size()) return nullptr;
  return static_cast<const char*>(std::memchr(text.data() + head, c, std::size_t(text.size() - head)));
}

}  // namespace

qsizetype IniLineScanner::NextLineEnd(qsizetype from) {
  const char* data = text_.data();
  const qsizetype head = std::min(text_.size(), from + kShortScan);
  for (qsizetype i = from; i < head; ++i) {
    if (IsLineEnd(data[i])) return i;
  }
  if (head == text_.size()) return head;
  // The next CR and LF are remembered, so a text of CR-only lines is not searched for LF again
  // on every line.
  const auto find = [&](char c) {
    const void* hit = std::memchr(data + head, c, std::size_t(text_.size() - head));
    return hit ? static_cast<const char*>(hit) - data : text_.size();
  };
  if (nextCr_ < head) nextCr_ = find('\r');
  if (nextLf_ < head) nextLf_ = find('\n');
  return std::min(nextCr_, nextLf_);
}

bool IniLineScanner::SkipLine(qsizetype& start) {
  const char* data = text_.data();
  const qsizetype size = text_.size();
  qsizetype first = position_;
  while (first < size && (IsBlank(data[first]) || IsLineEnd(data[first]))) ++first;
  if (first >= size) {
    position_ = size;
    return false;
  }
  start = first;
  position_ = NextLineEnd(first);
  return true;
}

bool IniLineScanner::NextStartingWith(QByteArrayView firstBytes, IniLine& line) {
  const char* data = text_.data();
  const qsizetype size = text_.size();
  const auto count = std::min(std::size_t(firstBytes.size()), nextFirstByte_.size());
  if (count == 0) return false;
  const auto wanted = [&](char c) {
    return std::find(firstBytes.begin(), firstBytes.begin() + count, c) != firstBytes.begin() + count;
  };
  while (position_ < size) {
    // Candidates close together, as in a text of short lines, are found sooner by a plain loop.
    qsizetype candidate = size;
    const qsizetype head = std::min(size, position_ + kShortScan);
    for (qsizetype i = position_; i < head; ++i) {
      if (wanted(data[i])) {
        candidate = i;
        break;
      }
    }
    for (std::size_t i = 0; candidate == size && i < count; ++i) {
      if (nextFirstByte_[i] < position_) {
        const void* hit = std::memchr(data + position_, firstBytes[qsizetype(i)], std::size_t(size - position_));
        nextFirstByte_[i] = hit ? static_cast<const char*>(hit) - data : size;
      }
    }
    if (candidate == size) candidate = *std::min_element(nextFirstByte_.begin(), nextFirstByte_.begin() + count);
    if (candidate >= size) break;
    // Only blanks may stand between a line's start and its first byte. The blanks walked over
    // lie after the previous candidate, so the walks add up to one pass.
    qsizetype before = candidate;
    while (before > 0 && IsBlank(data[before - 1])) --before;
    if (before > 0 && !IsLineEnd(data[before - 1])) {
      position_ = candidate + 1;
      continue;
    }
    position_ = NextLineEnd(candidate);
    ParseLine(candidate, line);
    return true;
  }
  position_ = size;
  return false;
}

bool IniLineScanner::Next(IniLine& line) {
  qsizetype start = 0;
  if (!SkipLine(start)) return false;
  ParseLine(start, line);
  return true;
}

void IniLineScanner::ParseLine(qsizetype start, IniLine& line) const {
  const char* data = text_.data();
  const qsizetype end = position_;
  line.start = start;
  line.end = end;
  line.value = QByteArrayView();

  const QByteArrayView body(data + start, end - start);
  if (body.front() == ';') {
    line.kind = IniEntryKind::Comment;
    line.name = body.sliced(body.size() > 1 && IsBlank(body[1]) ? 2 : 1);
  } else if (body.front() == '[') {
    line.kind = IniEntryKind::Group;
    const char* close = FindByte(body, ']');
    line.name = close ? body.sliced(1, close - body.data() - 1) : body.sliced(1);
  } else {
    line.kind = IniEntryKind::Key;
    const char* equals = FindByte(body, '=');
    QByteArrayView key = equals ? body.first(equals - body.data()) : body;
    while (!key.isEmpty() && IsBlank(key.back())) key.chop(1);
    line.name = key;
    if (equals) {
      QByteArrayView value = body.sliced(equals - body.data() + 1);
      while (!value.isEmpty() && IsBlank(value.front())) value = value.sliced(1);
      line.value = value;
    }
  }
}

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
  const qint64 signedValue = negative ? -magnitude : magnitude;
  return qint32(std::clamp<qint64>(signedValue, std::numeric_limits<qint32>::min(),
                                   std::numeric_limits<qint32>::max()));
}

QByteArray Latin1ToUtf8(QByteArrayView bytes) {
  qsizetype high = 0;
  for (const char c : bytes) high += uchar(c) >> 7;
  // Every byte writes two target bytes and keeps the second only when it is high: no branch on
  // the data, which matters for random bytes. One spare byte takes the last overhang.
  QByteArray out(bytes.size() + high + 1, Qt::Uninitialized);
  char* target = out.data();
  for (const char c : bytes) {
    const auto u = uchar(c);
    const uchar isHigh = u >> 7;
    target[0] = char(isHigh ? 0xC0 | (u >> 6) : u);
    target[1] = char(0x80 | (u & 0x3F));
    target += 1 + isHigh;
  }
  out.chop(1);
  return out;
}

IniEngine::IniEngine() = default;

IniEngine::~IniEngine() { CloseIni(); }

bool IniEngine::OpenIni(const QString& path) {
  CloseIni();
  auto document = std::make_unique<Document>();
  auto file = std::make_unique<QFile>(path);
  // Only a regular file is opened: a pipe or device could block or never end.
  const QFileInfo info(path);
  const bool openable = !path.isEmpty() && info.isFile();
  if (!openable || (!file->open(QIODevice::ReadWrite) && !file->open(QIODevice::ReadOnly))) {
    if (path.isEmpty()) return false;
    document->pathToCreate = path;
    document->entriesBuilt = true;
    document_ = std::move(document);
    return false;
  }
  QByteArray bytes = file->read(kMaxIniBytes);
  document->readInPart = bytes.size() == kMaxIniBytes && !file->read(1).isEmpty();
  if (bytes.startsWith(kByteOrderMark)) {
    bytes.remove(0, 3);
    document->text = std::move(bytes);
  } else if (bytes.isEmpty()) {
    document->utf8 = false;
  } else {
    document->text = std::move(bytes);
    document->textIsLatin1 = true;
  }
  document->readFile = std::move(file);
  document_ = std::move(document);
  return true;
}

bool IniEngine::CreateIni(const QString& path) {
  CloseIni();
  if (path.isEmpty()) return false;
  auto file = std::make_unique<QSaveFile>(path);
  if (!file->open(QIODevice::WriteOnly)) return false;
  document_ = std::make_unique<Document>();
  document_->entriesBuilt = true;
  document_->modified = true;
  document_->newFile = std::move(file);
  return true;
}

bool IniEngine::SelectGroup(const QString& name) {
  if (!document_) return false;
  if (name.isEmpty()) {
    document_->currentGroup.reset();
    document_->pendingGroup.reset();
    return true;
  }
  const auto lookupName = document_->LookupForm(name);
  if (auto group = lookupName ? document_->FindGroup(*lookupName) : std::nullopt) {
    document_->currentGroup = group;
    document_->pendingGroup.reset();
    return true;
  }
  document_->pendingGroup = name.toUtf8();
  return false;
}

qint32 IniEngine::ReadInteger(const QString& key, qint32 defaultValue) {
  if (!document_ || document_->pendingGroup) return defaultValue;
  const auto lookupKey = document_->LookupForm(key);
  const auto line = lookupKey ? document_->FindKeyInCurrentGroup(*lookupKey) : std::nullopt;
  return line ? ParseIniInteger(line->value) : defaultValue;
}

void IniEngine::WriteInteger(const QString& key, qint32 value) {
  if (!document_) return;
  Document& document = *document_;
  document.BuildEntries();
  auto& entries = document.entries;
  if (document.pendingGroup) {
    entries.push_back({IniEntryKind::Group, *document.pendingGroup, QByteArray()});
    const auto index = qsizetype(entries.size()) - 1;
    document.currentGroup = GroupPosition{index, index + 1};
    document.pendingGroup.reset();
  }
  const QByteArray utf8Key = key.toUtf8();
  const QByteArray text = QByteArray::number(value);
  document.modified = true;
  auto it = entries.begin() + (document.currentGroup ? document.currentGroup->body : 0);
  for (; it != entries.end() && it->kind != IniEntryKind::Group; ++it) {
    if (it->kind == IniEntryKind::Key && EqualFoldingAsciiCase(it->name, utf8Key)) {
      it->name = utf8Key;
      it->value = text;
      return;
    }
  }
  entries.insert(it, {IniEntryKind::Key, utf8Key, text});
}

bool IniEngine::CloseIni() {
  if (!document_) return true;
  bool written = true;
  Document& document = *document_;
  if (document.modified) {
    const QByteArray text = document.Compose(format_);
    if (document.newFile) {
      written = ReplaceFileContents(*document.newFile, text);
    } else if (document.readFile) {
      // A file that could only be opened for reading is not written, as with a read-only handle.
      written = (document.readFile->openMode() & QIODevice::WriteOnly) != 0 && !document.readInPart;
      if (written) {
        QSaveFile file(document.readFile->fileName());
        document.readFile->close();
        file.open(QIODevice::WriteOnly);
        written = ReplaceFileContents(file, text);
      }
    } else {
      QSaveFile file(document.pathToCreate);
      file.open(QIODevice::WriteOnly);
      written = ReplaceFileContents(file, text);
    }
  }
  document_.reset();
  return written;
}

}  // namespace folivane
