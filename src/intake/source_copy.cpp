#include "intake/source_copy.h"

#include <QFile>
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
  explicit OpenCopy(int descriptor) : descriptor_(descriptor) {}
  ~OpenCopy() override { ::close(descriptor_); }
  OpenCopy(const OpenCopy&) = delete;
  OpenCopy& operator=(const OpenCopy&) = delete;

  int Descriptor() const { return descriptor_; }

  std::ptrdiff_t Read(char* buffer, std::ptrdiff_t size) override {
    for (;;) {
      const ssize_t count = ::read(descriptor_, buffer, static_cast<std::size_t>(size));
      if (count < 0 && errno == EINTR) continue;
      return count;
    }
  }

 private:
  int descriptor_;
};

enum class ReadOutcome {
  Read,        // opened and read to its end (or to a failed read)
  OpenFailed,  // as if the copy could not be opened; its deletion is still attempted
  LeaveAlone,  // not a regular file after all, or held by another process: neither read nor deleted
};

// `identity` receives the opened file's status, so the caller compares what was really read.
ReadOutcome ReadRegularCopy(const QByteArray& path, bool throughLink, SourceText& out,
                            struct stat& identity, const CopySourceWrapper& throughSource) {
  // O_NONBLOCK: should the path have turned into a FIFO since it was examined, the open must not wait.
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (throughLink ? 0 : O_NOFOLLOW);
  const int descriptor = ::open(path.constData(), flags);
  if (descriptor < 0) return ReadOutcome::OpenFailed;
  OpenCopy copy(descriptor);

  struct stat opened {};
  if (::fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode)) return ReadOutcome::LeaveAlone;
  identity = opened;
  // The IDE's platform opens the copy without sharing: a copy another process holds can be
  // neither opened nor deleted there, so here it is left alone too.
  if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return ReadOutcome::LeaveAlone;

  if (throughSource) {
    const std::unique_ptr<ByteSource> wrapped = throughSource(copy);
    ReadSourceLines(wrapped ? *wrapped : copy, out);
  } else {
    ReadSourceLines(copy, out);
  }
  return ReadOutcome::Read;
}

bool IsSameFile(const struct stat& identity, const QString& otherPath) {
  if (otherPath.isEmpty() || otherPath.contains(QChar(u'\0'))) return false;
  struct stat other {};
  if (::stat(QFile::encodeName(otherPath).constData(), &other) != 0) return false;
  return other.st_dev == identity.st_dev && other.st_ino == identity.st_ino;
}

}  // namespace

QString IdeVersionOf(const QString& markerLine) {
  const QStringView rest = QStringView(markerLine).mid(kIdeOptionsMarkerLength);
  const qsizetype equalsSign = rest.indexOf(u'=');
  return (equalsSign < 0 ? rest : rest.left(equalsSign)).toString();
}

void ReadSourceLines(ByteSource& source, SourceText& out) {
  out.lines.clear();
  out.ideVersion.clear();
  const QStringView marker(kIdeOptionsMarker, kIdeOptionsMarkerLength);
  LineReader reader(source);
  bool optionsSeen = false;
  while (!reader.AtEnd()) {
    QString line = reader.ReadLine();
    if (line.startsWith(marker)) {
      out.ideVersion = IdeVersionOf(line);
      optionsSeen = true;
    }
    if (!optionsSeen) out.lines.append(std::move(line));
  }
}

bool ReadSourceCopy(const QString& copyPath, const QString& sourcePath, SourceText& out,
                    CopyDisposal disposal) {
  return ReadSourceCopy(copyPath, sourcePath, out, disposal, CopySourceWrapper());
}

bool ReadSourceCopy(const QString& copyPath, const QString& sourcePath, SourceText& out,
                    CopyDisposal disposal, const CopySourceWrapper& throughSource) {
  out.lines.clear();
  out.ideVersion.clear();
  if (FileNamePart(copyPath).isEmpty()) return false;
  // The platform path ends at a NUL, so such a path would name some other file.
  if (copyPath.contains(QChar(u'\0'))) return false;
  const QByteArray path = QFile::encodeName(copyPath);

  struct stat entry {};
  if (::lstat(path.constData(), &entry) != 0) return false;  // nothing there to read or delete
  const bool isLink = S_ISLNK(entry.st_mode);
  if (!isLink && !S_ISREG(entry.st_mode)) return false;

  // The file whose data the copy holds; a dangling link has none.
  struct stat identity = entry;
  const bool hasTarget = !isLink || ::stat(path.constData(), &identity) == 0;

  ReadOutcome outcome = ReadOutcome::OpenFailed;
  if (hasTarget && S_ISREG(identity.st_mode))
    outcome = ReadRegularCopy(path, isLink, out, identity, throughSource);
  const bool read = outcome == ReadOutcome::Read;

  if (outcome == ReadOutcome::LeaveAlone || disposal == CopyDisposal::Keep) return read;
  if (hasTarget && IsSameFile(identity, sourcePath)) return read;
  // unlink removes a symbolic link itself, never what it leads to; a failure is ignored.
  ::unlink(path.constData());
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
