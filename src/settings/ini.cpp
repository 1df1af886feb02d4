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

bool ReplaceFileContents(QSaveFile& file, const QByteArray& text) {
  if (!file.isOpen()) return false;
  // An unfinished file is discarded when `file` goes away; the old file stays as it was.
  if (file.write(text) != text.size()) return false;
  return file.commit();
}

}  // namespace

// A document read from a file is kept as its text and parsed on each lookup, so a huge file
// costs one linear scan per lookup and no memory per line. The first write turns the text
// into entries, which are then edited in place.
struct IniEngine::Document {
  QByteArray text;
  std::vector<IniEntry> entries;
  bool entriesBuilt = false;
  std::optional<GroupPosition> currentGroup;
  std::optional<QByteArray> pendingGroup;
  bool utf8 = true;
  bool modified = false;
  std::unique_ptr<QFile> readFile;
  std::unique_ptr<QSaveFile> newFile;
  QString pathToCreate;

  // Calls visit(line) for each line from `from` on until it returns false.
  template <typename Visit>
  void VisitLines(qsizetype from, Visit visit) const {
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
    while (scanner.Next(line)) {
      if (!visit(line)) return;
    }
  }

  std::optional<GroupPosition> FindGroup(QByteArrayView name) const {
    std::optional<GroupPosition> found;
    VisitLines(0, [&](const IniLine& line) {
      if (line.kind != IniEntryKind::Group || !EqualFoldingAsciiCase(line.name, name)) return true;
      found = GroupPosition{line.start, line.end};
      return false;
    });
    return found;
  }

  std::optional<IniLine> FindKeyInCurrentGroup(QByteArrayView key) const {
    std::optional<IniLine> found;
    VisitLines(currentGroup ? currentGroup->body : 0, [&](const IniLine& line) {
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
    VisitLines(0, [&](const IniLine& line) {
      if (currentGroup && line.start == currentGroup->header) {
        const auto index = qsizetype(entries.size());
        current = GroupPosition{index, index + 1};
      }
      entries.push_back({line.kind, line.name.toByteArray(), line.value.toByteArray()});
      return true;
    });
    currentGroup = current;
    text = QByteArray();
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

bool IniLineScanner::Next(IniLine& line) {
  const char* data = text_.data();
  const qsizetype size = text_.size();
  qsizetype start = position_;
  while (start < size && (IsBlank(data[start]) || IsLineEnd(data[start]))) ++start;
  if (start >= size) {
    position_ = size;
    return false;
  }
  const qsizetype end = NextLineEnd(start);
  position_ = end;
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
  return true;
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
  try {
    QByteArray bytes = file->readAll();
    if (bytes.startsWith(kByteOrderMark)) {
      document->text = bytes.sliced(3);
    } else if (bytes.isEmpty()) {
      document->utf8 = false;
    } else {
      const bool ascii = std::none_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) >= 0x80; });
      document->text = ascii ? std::move(bytes) : Latin1ToUtf8(bytes);
    }
  } catch (const std::bad_alloc&) {
    // A file larger than memory reads as an empty document.
    document->text = QByteArray();
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
  const QByteArray utf8Name = name.toUtf8();
  if (utf8Name.isEmpty()) {
    document_->currentGroup.reset();
    document_->pendingGroup.reset();
    return true;
  }
  if (auto group = document_->FindGroup(utf8Name)) {
    document_->currentGroup = group;
    document_->pendingGroup.reset();
    return true;
  }
  document_->pendingGroup = utf8Name;
  return false;
}

qint32 IniEngine::ReadInteger(const QString& key, qint32 defaultValue) {
  if (!document_ || document_->pendingGroup) return defaultValue;
  const auto line = document_->FindKeyInCurrentGroup(key.toUtf8());
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
      written = (document.readFile->openMode() & QIODevice::WriteOnly) != 0;
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
