// Reading and deleting the copy on POSIX systems: open flags, file status, advisory locks, unlink.
#include "intake/source_copy.h"

#include "intake/file_errors.h"

#include <QFile>
#include <QLoggingCategory>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folivane {

// Off until a logging rule turns it on (QT_LOGGING_RULES="folivane.intake=true"): the tool is silent.
Q_LOGGING_CATEGORY(lcIntake, "folivane.intake", QtFatalMsg)

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
ReadOutcome ReadRegularCopy(const QByteArray& path, bool throughLink, SourceText& out, struct stat& opened,
                            const CopyReading& how) {
  // O_NONBLOCK: should the path have turned into a FIFO since it was examined, the open must not wait.
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (throughLink ? 0 : O_NOFOLLOW);
  const int descriptor = ::open(path.constData(), flags);
  if (descriptor < 0) {
    qCInfo(lcIntake, "copy %s not opened: %s", path.constData(), std::strerror(errno));
    return ReadOutcome::OpenFailed;
  }
  if (::fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    ::close(descriptor);
    qCInfo(lcIntake, "copy %s left alone: not a regular file", path.constData());
    return ReadOutcome::LeaveAlone;
  }
  // A file that keeps growing, or reports size 0 and reads on, is read up to its size at opening.
  const qint64 size = std::max<qint64>(opened.st_size, 0);
  OpenCopy copy(descriptor, size);
  // The IDE's platform opens the copy without sharing: a copy another process holds can be
  // neither opened nor deleted there, so here it is left alone too. A copy that is kept is only
  // read, and other readers may read it at the same time.
  const int lock = how.disposal == CopyDisposal::Keep ? LOCK_SH : LOCK_EX;
  if (::flock(descriptor, lock | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    qCInfo(lcIntake, "copy %s left alone: another process holds it locked", path.constData());
    return ReadOutcome::LeaveAlone;
  }

  IntakeOptions options = how.options;
  const bool largerThanRead = size > options.maxBytes;
  options.maxBytes = std::min(options.maxBytes, size);
  ReadSourceLines(copy, out, options);
  out.cutShort = out.cutShort || largerThanRead;
  qCInfo(lcIntake, "copy %s read: %lld lines before the options block, %s%s", path.constData(),
         static_cast<long long>(out.lines.size()), out.encoding.constData(),
         out.cutShort ? ", cut short at the intake's bounds" : "");
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
  bool replaced = ::lstat(path.constData(), &now) != 0 || !SameIdentity(now, entry);
  bool isSource = false;
  if (!replaced && S_ISLNK(now.st_mode)) {
    struct stat leadsTo {};
    const bool hasTarget = ::stat(path.constData(), &leadsTo) == 0;
    replaced = target && (!hasTarget || !SameIdentity(leadsTo, *target));
    isSource = hasTarget && IsSameFile(leadsTo, sourcePath);
  } else if (!replaced) {
    isSource = IsSameFile(now, sourcePath);
  }
  if (replaced || isSource) {
    qCInfo(lcIntake, "copy %s not deleted: %s", path.constData(),
           replaced ? "another file took its place while it was read" : "it is the source itself");
    return;
  }
  // unlink removes a symbolic link itself, never what it leads to; a failure is ignored.
  if (::unlink(path.constData()) != 0)
    qCInfo(lcIntake, "copy %s not deleted: %s", path.constData(), std::strerror(errno));
}

// Why a file of this kind is not read as text.
QString KindRefused(const struct stat& status, int descriptor) {
  if (S_ISDIR(status.st_mode)) return QStringLiteral("is a folder");
  if (S_ISCHR(status.st_mode) && descriptor >= 0 && ::isatty(descriptor)) return QStringLiteral("is a terminal");
  if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return QStringLiteral("is a device");
  if (S_ISSOCK(status.st_mode) && descriptor < 0) return QStringLiteral("is a socket");
  return QString();
}

}  // namespace

QString ReadSourceFile(const QByteArray& path, SourceText& out, const IntakeOptions& options) {
  out = SourceText();
  int descriptor = -1;
  struct stat status {};
  if (path == "-") {
    descriptor = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    if (descriptor < 0) return FileErrorReason(errno);
  } else {
    if (path.contains('\0')) return FileErrorReason(ENOENT);
    if (::stat(path.constData(), &status) != 0) return FileErrorReason(errno);
    // Refused before opening: opening a device may wait, or set it going (a tape, a modem line).
    if (const QString refused = KindRefused(status, -1); !refused.isEmpty()) return refused;
    // A FIFO is opened as cat opens it, waiting for a writer; anything else must not wait.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | (S_ISFIFO(status.st_mode) ? 0 : O_NONBLOCK);
    descriptor = ::open(path.constData(), flags);
    if (descriptor < 0) return FileErrorReason(errno);
  }
  if (::fstat(descriptor, &status) != 0) {
    const int error = errno;
    ::close(descriptor);
    return FileErrorReason(error);
  }
  if (const QString refused = KindRefused(status, descriptor); !refused.isEmpty()) {
    ::close(descriptor);
    return refused;
  }
  if (!S_ISREG(status.st_mode)) {
    // A stream: read to its end, which only the bounds cut short.
    if (::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
      const int error = errno;
      ::close(descriptor);
      return FileErrorReason(error);
    }
    OpenCopy stream(descriptor, -1);
    ReadSourceLines(stream, out, options);
    return QString();
  }
  // Standard input may be a file read from where it stands.
  const qint64 position = std::max<qint64>(::lseek(descriptor, 0, SEEK_CUR), 0);
  const qint64 size = std::max<qint64>(status.st_size - position, 0);
  OpenCopy copy(descriptor, size);
  if (::flock(descriptor, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
    return QStringLiteral("another process holds it locked");
  IntakeOptions bounded = options;
  bounded.maxBytes = std::min(options.maxBytes, size);
  ReadSourceLines(copy, out, bounded);
  out.cutShort = out.cutShort || size > options.maxBytes;
  return QString();
}

bool ReadSourceCopy(const QByteArray& copyPath, const QByteArray& sourcePath, SourceText& out, const CopyReading& how) {
  out = SourceText();
  // The platform path ends at a NUL, so such a path would name some other file.
  if (FileNamePart(QFile::decodeName(copyPath)).isEmpty() || copyPath.contains('\0')) {
    qCInfo(lcIntake, "no copy read: the first parameter names no file");
    return false;
  }
  const QByteArray& path = copyPath;

  struct stat entry {};
  if (::lstat(path.constData(), &entry) != 0) {
    qCInfo(lcIntake, "no copy read: %s: %s", path.constData(), std::strerror(errno));
    return false;
  }
  const bool isLink = S_ISLNK(entry.st_mode);
  if (!isLink && !S_ISREG(entry.st_mode)) {
    qCInfo(lcIntake, "copy %s left alone: not a regular file", path.constData());
    return false;
  }

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

}  // namespace folivane
