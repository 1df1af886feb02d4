// The PDF output on POSIX systems: temporary file, rename, streams and the signals that interrupt them.
#include "app/pdf_output.h"

#include "intake/file_errors.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folivane {

namespace {

// A signal handler can reach nothing but static storage: the temporary files to remove when the
// run is interrupted. Set before the handlers are installed, cleared after they are removed.
char interruptedRemovals[2][PATH_MAX + 1];

extern "C" void RemoveTemporariesAndDie(int signalNumber) {
  for (const char* path : interruptedRemovals)
    if (path[0] != '\0') ::unlink(path);
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
}

// SIGPIPE: the reader of a stream left, as "| head" does.
constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
struct sigaction dispositionsBefore[std::size(kInterruptions)];

void GuardTemporaryFiles(const QByteArray& first, const QByteArray& second) {
  // Kept first, so that the release puts back what was there even when nothing is installed.
  for (std::size_t i = 0; i < std::size(kInterruptions); ++i)
    ::sigaction(kInterruptions[i], nullptr, &dispositionsBefore[i]);
  if (first.size() > PATH_MAX || second.size() > PATH_MAX) return;
  std::memcpy(interruptedRemovals[0], first.constData(), static_cast<size_t>(first.size()) + 1);
  std::memcpy(interruptedRemovals[1], second.constData(), static_cast<size_t>(second.size()) + 1);
  struct sigaction removal {};
  removal.sa_handler = RemoveTemporariesAndDie;
  sigemptyset(&removal.sa_mask);
  for (std::size_t i = 0; i < std::size(kInterruptions); ++i) {
    // A signal the caller ignores (nohup, a parent that ignores SIGPIPE) stays ignored: a write
    // then fails with EPIPE instead, which is handled where it happens.
    if (dispositionsBefore[i].sa_handler != SIG_IGN) ::sigaction(kInterruptions[i], &removal, nullptr);
  }
  // Past a file size limit a write should fail and be reported, not end the process unreported.
  ::signal(SIGXFSZ, SIG_IGN);
}

void ReleaseTemporaryFileGuard() {
  for (std::size_t i = 0; i < std::size(kInterruptions); ++i)
    ::sigaction(kInterruptions[i], &dispositionsBefore[i], nullptr);
  ::signal(SIGXFSZ, SIG_DFL);
  for (char* path : interruptedRemovals) path[0] = '\0';
}

QString SystemError() { return FileErrorReason(errno); }

QString Shown(const QByteArray& path) { return QFile::decodeName(path); }

bool WriteAll(int descriptor, const char* data, qint64 size) {
  while (size > 0) {
    const ssize_t written = ::write(descriptor, data, static_cast<size_t>(std::min<qint64>(size, 1 << 20)));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// The mode a new OUTPUT gets: an old one's, or what the process would give a file it creates.
mode_t ModeForOutput(const struct stat* old) {
  if (old) return old->st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

QByteArray FolderOf(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  if (slash < 0) return QByteArray(".");
  return slash == 0 ? QByteArray("/") : path.left(slash);
}

// Where a path leads through a chain of symbolic links, as the shell's ">" follows them: the
// last path of the chain, which need not exist yet. Empty, with errno set, for a loop.
QByteArray FinalTarget(const QByteArray& path) {
  QByteArray current = path;
  for (int hop = 0; hop < 40; ++hop) {
    char target[PATH_MAX];
    const ssize_t size = ::readlink(current.constData(), target, sizeof target);
    if (size < 0) return current;  // not a link, or nothing there
    if (size == static_cast<ssize_t>(sizeof target)) {
      errno = ENAMETOOLONG;
      return QByteArray();
    }
    const QByteArray next(target, size);
    current = next.startsWith('/') ? next : FolderOf(current) + '/' + next;
  }
  errno = ELOOP;
  return QByteArray();
}

// The temporary file's pattern beside `target`: ".NAME-XXXXXX", the name shortened (on a UTF-8
// character's boundary) so that the whole fits in the longest name a folder takes.
QByteArray TemporaryPattern(const QByteArray& target) {
  const QByteArray folder = FolderOf(target);
  const QByteArray name = target.mid(target.lastIndexOf('/') + 1);
  const long longest = ::pathconf(folder.constData(), _PC_NAME_MAX);
  const qsizetype room = std::max<qsizetype>(1, (longest > 0 ? longest : NAME_MAX) - 8);
  qsizetype kept = std::min(name.size(), room);
  while (kept > 1 && kept < name.size() && (static_cast<unsigned char>(name[kept]) & 0xC0) == 0x80) --kept;
  return folder + "/." + name.left(kept) + "-XXXXXX";
}

// A file in the temporary folder for the PDF engine, which takes file names as text.
QByteArray MakeScratchFile(QString& error) {
  QTemporaryFile scratch(QDir::tempPath() + QStringLiteral("/folivane-pdf-XXXXXX.pdf"));
  scratch.setAutoRemove(false);
  if (!scratch.open()) {
    error = QStringLiteral("cannot make a temporary file: %1").arg(scratch.errorString());
    return QByteArray();
  }
  return QFile::encodeName(scratch.fileName());
}

// Copies a whole file into an open descriptor, every write checked.
bool CopyInto(const QByteArray& from, int descriptor) {
  const int source = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return false;
  std::unique_ptr<char[]> buffer(new char[1 << 20]);
  bool whole = true;
  for (;;) {
    const ssize_t count = ::read(source, buffer.get(), 1 << 20);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      whole = count == 0;
      break;
    }
    if (!WriteAll(descriptor, buffer.get(), count)) {
      whole = false;
      break;
    }
  }
  ::close(source);
  return whole;
}

}  // namespace

FileIdentity IdentityOf(const QByteArray& path) {
  struct stat status {};
  if (path.isEmpty() || ::stat(path.constData(), &status) != 0) return {};
  return {static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino), true};
}

std::unique_ptr<PdfOutput> PdfOutput::Prepare(const QByteArray& output, const FileIdentity& source, QString& error) {
  std::unique_ptr<PdfOutput> prepared(new PdfOutput());
  prepared->source_ = source;
  const FileIdentity outputIdentity = output == "-" ? IdentityOf("/dev/stdout") : IdentityOf(output);
  if (source.known && outputIdentity.known && outputIdentity.device == source.device &&
      outputIdentity.inode == source.inode) {
    error = QStringLiteral("%1 is the source itself; it is left as it is").arg(Shown(output));
    return nullptr;
  }

  struct stat status {};
  const bool exists = output != "-" && ::stat(output.constData(), &status) == 0;
  if (output == "-" || (exists && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))) {
    // Opened once: a FIFO opened twice would wait for a second reader.
    prepared->stream_ = output == "-" ? ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3)
                                      : ::open(output.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (prepared->stream_ < 0) {
      error = QStringLiteral("cannot write %1: %2").arg(Shown(output), SystemError());
      return nullptr;
    }
    // The PDF engine writes to a named file; the finished document is then streamed.
    prepared->renderPath_ = MakeScratchFile(error);
    if (prepared->renderPath_.isEmpty()) return nullptr;
  } else {
    if (exists && S_ISDIR(status.st_mode)) {
      error = QStringLiteral("cannot write %1: is a folder").arg(Shown(output));
      return nullptr;
    }
    prepared->finalPath_ = FinalTarget(output);
    // A file the user may not write is not replaced either, as the shell's ">" would not write it.
    if (prepared->finalPath_.isEmpty() || (exists && ::access(prepared->finalPath_.constData(), W_OK) != 0)) {
      error = QStringLiteral("cannot write %1: %2").arg(Shown(output), SystemError());
      return nullptr;
    }
    QByteArray pattern = TemporaryPattern(prepared->finalPath_);
    const int descriptor = ::mkstemp(pattern.data());
    if (descriptor < 0) {
      const QString reason = errno == ENOENT ? QStringLiteral("no such folder") : SystemError();
      error = QStringLiteral("cannot write %1: %2").arg(Shown(output), reason);
      return nullptr;
    }
    ::close(descriptor);
    prepared->mode_ = ModeForOutput(exists ? &status : nullptr);
    prepared->placePath_ = pattern;
    // A name that does not survive the way to text and back is rendered elsewhere, then copied.
    prepared->renderPath_ = QFile::encodeName(QFile::decodeName(pattern)) == pattern ? pattern : MakeScratchFile(error);
    if (prepared->renderPath_.isEmpty()) return nullptr;
  }
  GuardTemporaryFiles(prepared->renderPath_, prepared->placePath_);
  return prepared;
}

PdfOutput::~PdfOutput() {
  ReleaseTemporaryFileGuard();
  if (!renderPath_.isEmpty() && renderPath_ != placePath_) ::unlink(renderPath_.constData());
  if (!placePath_.isEmpty() && !delivered_) ::unlink(placePath_.constData());
  if (stream_ >= 0) ::close(stream_);
}

QString PdfOutput::RenderPath() const { return QFile::decodeName(renderPath_); }

bool PdfOutput::Deliver(QString& error) {
  if (!PdfLooksWhole(renderPath_)) {
    error = QStringLiteral("the PDF could not be written whole (is the disk full?)");
    return false;
  }
  return stream_ >= 0 ? Stream(error) : Rename(error);
}

bool PdfOutput::Rename(QString& error) {
  const int descriptor = ::open(placePath_.constData(), O_WRONLY | O_CLOEXEC);
  bool written = descriptor >= 0;
  if (written && renderPath_ != placePath_)
    written = ::ftruncate(descriptor, 0) == 0 && CopyInto(renderPath_, descriptor);
  // The mode last: an old OUTPUT's read-only mode would have kept the PDF out.
  written = written && ::fchmod(descriptor, mode_) == 0 && ::fsync(descriptor) == 0;
  if (descriptor >= 0 && ::close(descriptor) != 0) written = false;
  if (!written) {
    error = QStringLiteral("cannot write %1: %2").arg(Shown(finalPath_), SystemError());
    return false;
  }
  // Looked at again just before acting: the source may have been moved to OUTPUT's name meanwhile.
  const FileIdentity now = IdentityOf(finalPath_);
  if (source_.known && now.known && now.device == source_.device && now.inode == source_.inode) {
    error = QStringLiteral("%1 is the source itself; it is left as it is").arg(Shown(finalPath_));
    return false;
  }
  if (::rename(placePath_.constData(), finalPath_.constData()) != 0) {
    error = QStringLiteral("cannot write %1: %2").arg(Shown(finalPath_), SystemError());
    return false;
  }
  delivered_ = true;
  return true;
}

bool PdfOutput::Stream(QString& error) {
  const bool whole = CopyInto(renderPath_, stream_);
  const int copyError = errno;
  const bool closed = ::close(stream_) == 0;
  stream_ = -1;
  if (!whole && copyError == EPIPE) {
    error.clear();  // the reader left, as "| head" does: nothing to say
    return false;
  }
  if (!whole || !closed) {
    error = QStringLiteral("cannot write the PDF: %1").arg(FileErrorReason(whole ? errno : copyError));
    return false;
  }
  return true;
}

bool PdfLooksWhole(const QByteArray& path) {
  const int descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  QFile file;
  if (descriptor < 0 || !file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    if (descriptor >= 0) ::close(descriptor);
    return false;
  }
  const qint64 size = file.size();
  if (size < 64 || !file.seek(std::max<qint64>(0, size - 1024))) return false;
  const QByteArray tail = file.readAll();
  const qsizetype at = tail.lastIndexOf("startxref");
  if (at < 0 || !tail.trimmed().endsWith("%%EOF")) return false;
  bool number = false;
  const qint64 xref = tail.mid(at + 9).trimmed().split('\n').value(0).trimmed().toLongLong(&number);
  if (!number || xref <= 0 || xref >= size || !file.seek(xref)) return false;
  // A cross-reference table, or a cross-reference stream: "n 0 obj" and a dictionary of /XRef.
  const QByteArray head = file.read(256);
  if (head.startsWith("xref")) return true;
  static const QRegularExpression stream(QStringLiteral("^\\d+ \\d+ obj\\s*<<[^>]*/Type\\s*/XRef\\b"));
  return stream.match(QString::fromLatin1(head)).hasMatch();
}

}  // namespace folivane
