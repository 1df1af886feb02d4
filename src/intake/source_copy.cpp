#include "intake/source_copy.h"

#include <QFile>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folivane {

namespace {

// The opened copy as a byte source; owns the descriptor, and with it the advisory lock.
class OpenCopy final : public ByteSource {
 public:
  OpenCopy(int descriptor, qint64 size) : descriptor_(descriptor), size_(size) {}
  ~OpenCopy() override { ::close(descriptor_); }
  OpenCopy(const OpenCopy&) = delete;
  OpenCopy& operator=(const OpenCopy&) = delete;

  std::ptrdiff_t Read(char* buffer, std::ptrdiff_t size) override {
    for (;;) {
      const ssize_t count = ::read(descriptor_, buffer, static_cast<std::size_t>(size));
      if (count < 0 && errno == EINTR) continue;
      return count;
    }
  }
  qint64 SizeHint() const override { return size_; }

 private:
  int descriptor_;
  qint64 size_;
};

enum class ReadOutcome {
  Read,        // opened and read to its end (or to a failed read)
  OpenFailed,  // as if the copy could not be opened; its deletion is still attempted
  LeaveAlone,  // not a regular file after all, or held by another process: neither read nor deleted
};

bool SameIdentity(const struct stat& one, const struct stat& other) {
  return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// `opened` receives the opened file's status, so the caller knows what was really read.
ReadOutcome ReadRegularCopy(const QByteArray& path, bool throughLink, SourceText& out,
                            struct stat& opened, const CopyReading& how) {
  // O_NONBLOCK: should the path have turned into a FIFO since it was examined, the open must not wait.
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (throughLink ? 0 : O_NOFOLLOW);
  const int descriptor = ::open(path.constData(), flags);
  if (descriptor < 0) return ReadOutcome::OpenFailed;
  if (::fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    ::close(descriptor);
    return ReadOutcome::LeaveAlone;
  }
  // A file that keeps growing, or reports size 0 and reads on, is read up to its size at opening.
  const qint64 size = std::max<qint64>(opened.st_size, 0);
  OpenCopy copy(descriptor, size);
  // The IDE's platform opens the copy without sharing: a copy another process holds can be
  // neither opened nor deleted there, so here it is left alone too.
  if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return ReadOutcome::LeaveAlone;

  IntakeOptions options = how.options;
  const bool largerThanRead = size > options.maxBytes;
  options.maxBytes = std::min(options.maxBytes, size);
  const std::unique_ptr<ByteSource> wrapped = how.throughSource ? how.throughSource(copy) : nullptr;
  ReadSourceLines(wrapped ? *wrapped : copy, out, options);
  out.cutShort = out.cutShort || largerThanRead;
  return ReadOutcome::Read;
}

bool IsSameFile(const struct stat& identity, const QByteArray& otherPath) {
  if (otherPath.isEmpty() || otherPath.contains('\0')) return false;
  struct stat other {};
  return ::stat(otherPath.constData(), &other) == 0 && SameIdentity(other, identity);
}

// Deletes the copy only while the path still names the file meant: another file saved or renamed
// onto the path while the copy was read is not the copy. Between this check and the unlink a
// rename can still slip in; no call deletes a path on the condition of what it names.
void DeleteCopyIfStillThere(const QByteArray& path, const struct stat& entry, const struct stat* target,
                            const QByteArray& sourcePath) {
  struct stat now {};
  if (::lstat(path.constData(), &now) != 0 || !SameIdentity(now, entry)) return;
  if (S_ISLNK(now.st_mode)) {
    struct stat leadsTo {};
    const bool hasTarget = ::stat(path.constData(), &leadsTo) == 0;
    if (target && (!hasTarget || !SameIdentity(leadsTo, *target))) return;
    if (hasTarget && IsSameFile(leadsTo, sourcePath)) return;
  } else if (IsSameFile(now, sourcePath)) {
    return;
  }
  // unlink removes a symbolic link itself, never what it leads to; a failure is ignored.
  ::unlink(path.constData());
}

// Whether the bytes end inside a UTF-8 sequence that a further byte could still complete.
bool EndsInsideSequence(QByteArrayView bytes) {
  for (qsizetype back = 1; back <= 3 && back <= bytes.size(); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;
    const int length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back;
  }
  return false;
}

// Reads and decodes in one pass while the bytes are well-formed UTF-8, the common case, so that
// they need no buffer of their own beside the text. At the first ill-formed sequence the bytes
// so far (the text so far encoded again, which gives them back exactly, and what the decoder
// still holds) and the rest of the source go through the rules for the whole copy.
DecodedText ReadAndDecode(ByteSource& source, const IntakeOptions& options, bool& cutShort) {
  cutShort = false;
  if (options.encoding != QByteArrayView(kAutomaticEncoding)) {
    const QByteArray bytes = ReadAtMost(source, options.maxBytes, cutShort);
    return DecodeCopyText(bytes, options.encoding);
  }
  constexpr qsizetype kChunk = 64 * 1024;
  QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
  QString text;
  const qint64 hint = source.SizeHint();
  if (hint >= 0) text.reserve(static_cast<qsizetype>(std::min(hint, options.maxBytes)));
  QByteArray chunk(kChunk, Qt::Uninitialized);
  QByteArray carried;  // the last bytes of the chunk before, which the decoder may still hold
  qint64 total = 0;
  for (;;) {
    if (total == options.maxBytes) {
      char probe;
      cutShort = source.Read(&probe, 1) > 0;
      break;
    }
    const std::ptrdiff_t count = source.Read(chunk.data(), std::min<qint64>(kChunk, options.maxBytes - total));
    if (count <= 0) break;
    const QByteArrayView bytes(chunk.constData(), count);
    const qsizetype before = text.size();
    text.resize(before + count);
    const QChar* end = decoder.appendToBuffer(text.data() + before, bytes);
    text.truncate(end - text.constData());
    total += count;
    if (decoder.hasError()) {
      QByteArray whole = QStringView(text).first(before).toUtf8();
      const qint64 held = (total - count) - whole.size();
      whole += carried.right(held);
      whole += bytes;
      text = QString();
      bool restCut = false;
      whole += ReadAtMost(source, options.maxBytes - total, restCut);
      cutShort = restCut;
      return DecodeIllFormedCopyText(whole);
    }
    carried = (carried + bytes.last(std::min<qsizetype>(3, count)).toByteArray()).right(3);
  }
  if (EndsInsideSequence(carried)) {
    // A sequence cut off by the end is ill-formed too; the bytes are all still at hand.
    QByteArray whole = text.toUtf8();
    whole += carried.right(total - whole.size());
    text = QString();
    return DecodeIllFormedCopyText(whole);
  }
  return {std::move(text), "UTF-8"};
}

}  // namespace

QString IdeVersionOf(const QString& markerLine) {
  const QStringView rest = QStringView(markerLine).mid(kIdeOptionsMarkerLength);
  const qsizetype equalsSign = rest.indexOf(u'=');
  return (equalsSign < 0 ? rest : rest.left(equalsSign)).toString();
}

void ReadSourceLines(ByteSource& source, SourceText& out, const IntakeOptions& options) {
  out = SourceText();
  DecodedText decoded = ReadAndDecode(source, options, out.cutShort);
  out.text = std::move(decoded.text);
  out.encoding = std::move(decoded.encoding);
  const QStringView marker(kIdeOptionsMarker, kIdeOptionsMarkerLength);
  LineSplitter splitter(out.text);
  // Counted first, so the list takes its memory once instead of growing by copies.
  out.lines.reserve(splitter.CountRemaining(options.maxLines));
  bool optionsSeen = false;
  QStringView line;
  while (splitter.Next(line)) {
    if (line.startsWith(marker)) {
      out.ideVersion = IdeVersionOf(line.toString());
      optionsSeen = true;
    }
    if (optionsSeen) continue;
    if (out.lines.size() >= options.maxLines) {
      out.cutShort = true;
      continue;
    }
    // A view into out.text: a line costs its list slot alone.
    out.lines.append(line.isEmpty() ? QString() : QString::fromRawData(line.data(), line.size()));
  }
}

bool ReadSourceCopy(const QByteArray& copyPath, const QByteArray& sourcePath, SourceText& out,
                    const CopyReading& how) {
  out = SourceText();
  if (FileNamePart(QFile::decodeName(copyPath)).isEmpty()) return false;
  // The platform path ends at a NUL, so such a path would name some other file.
  if (copyPath.contains('\0')) return false;
  const QByteArray& path = copyPath;

  struct stat entry {};
  if (::lstat(path.constData(), &entry) != 0) return false;  // nothing there to read or delete
  const bool isLink = S_ISLNK(entry.st_mode);
  if (!isLink && !S_ISREG(entry.st_mode)) return false;

  // The file whose data the copy holds; a dangling link has none.
  struct stat target = entry;
  const bool hasTarget = !isLink || ::stat(path.constData(), &target) == 0;

  ReadOutcome outcome = ReadOutcome::OpenFailed;
  struct stat opened {};
  if (hasTarget && S_ISREG(target.st_mode)) outcome = ReadRegularCopy(path, isLink, out, opened, how);
  const bool read = outcome == ReadOutcome::Read;

  if (outcome == ReadOutcome::LeaveAlone || how.disposal == CopyDisposal::Keep) return read;
  // What the path must still name: the file read (a link must still lead to it), or what was
  // found there when it could not be read.
  if (read && !isLink) {
    DeleteCopyIfStillThere(path, opened, nullptr, sourcePath);
  } else {
    DeleteCopyIfStillThere(path, entry, read ? &opened : (hasTarget ? &target : nullptr), sourcePath);
  }
  return read;
}

QString FileNamePart(const QString& path) {
  const qsizetype lastSeparator = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
  qsizetype start = lastSeparator + 1;
  if (lastSeparator < 0 && path.startsWith(u'"')) start = 1;
  qsizetype end = path.indexOf(u'"', start);
  if (end < 0) end = path.size();
  return path.mid(start, end - start);
}

}  // namespace folivane
