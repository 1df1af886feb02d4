// The PDF output on POSIX systems: temporary file, rename, streams and the signals that interrupt them.
#include "app/pdf_output.h"

#include "intake/file_errors.h"

#include <QFile>
#include <QIODevice>
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

// A signal handler can reach nothing but static storage: the temporary file to remove when the
// run is interrupted. Set before the handlers are installed, cleared after they are removed.
char interruptedRemoval[PATH_MAX + 1];

extern "C" void RemoveTemporaryAndDie(int signalNumber) {
  if (interruptedRemoval[0] != '\0') ::unlink(interruptedRemoval);
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
}

// SIGPIPE: the reader of a stream left, as "| head" does.
constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
struct sigaction dispositionsBefore[std::size(kInterruptions)];

void GuardTemporaryFile(const QByteArray& path) {
  // Kept first, so that the release puts back what was there even when nothing is installed.
  for (std::size_t i = 0; i < std::size(kInterruptions); ++i)
    ::sigaction(kInterruptions[i], nullptr, &dispositionsBefore[i]);
  if (path.size() > PATH_MAX) return;
  std::memcpy(interruptedRemoval, path.constData(), static_cast<size_t>(path.size()) + 1);
  struct sigaction removal {};
  removal.sa_handler = RemoveTemporaryAndDie;
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
  interruptedRemoval[0] = '\0';
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

// An open descriptor as a device to write to; it remembers why a write failed (errno), which
// tells a full disk from a reader that left.
class DescriptorDevice final : public QIODevice {
 public:
  explicit DescriptorDevice(int descriptor) : descriptor_(descriptor) {
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  }
  ~DescriptorDevice() override { Close(); }
  int Descriptor() const { return descriptor_; }
  int Error() const { return error_; }
  // Closes the descriptor; false when it could not be closed cleanly (some file systems report
  // a failed write only then).
  bool Close() {
    if (descriptor_ < 0) return true;
    const bool closed = ::close(descriptor_) == 0;
    if (!closed && error_ == 0) error_ = errno;
    descriptor_ = -1;
    QIODevice::close();
    return closed;
  }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    if (error_ != 0 || descriptor_ < 0) return -1;
    if (!WriteAll(descriptor_, data, size)) {
      error_ = errno != 0 ? errno : EIO;
      setErrorString(FileErrorReason(error_));
      return -1;
    }
    return size;
  }

 private:
  int descriptor_;
  int error_ = 0;
};

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

}  // namespace

FileIdentity IdentityOf(const QByteArray& path) {
  struct stat status {};
  if (path.isEmpty() || ::stat(path.constData(), &status) != 0) return {};
  return {static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino), true};
}

std::unique_ptr<PdfOutput> PdfOutput::Prepare(const QByteArray& output, const FileIdentity& source, QString& error) {
  std::unique_ptr<PdfOutput> prepared(new PdfOutput());
  prepared->source_ = source;
  prepared->output_ = output;
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
    const int stream = output == "-" ? ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3)
                                     : ::open(output.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (stream < 0) {
      error = QStringLiteral("cannot write %1: %2").arg(Shown(output), SystemError());
      return nullptr;
    }
    prepared->device_ = std::make_unique<DescriptorDevice>(stream);
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
    prepared->device_ = std::make_unique<DescriptorDevice>(descriptor);
    prepared->mode_ = ModeForOutput(exists ? &status : nullptr);
    prepared->placePath_ = pattern;
  }
  GuardTemporaryFile(prepared->placePath_);
  return prepared;
}

PdfOutput::~PdfOutput() {
  ReleaseTemporaryFileGuard();
  device_.reset();
  if (!placePath_.isEmpty() && !delivered_) ::unlink(placePath_.constData());
}

bool PdfOutput::Deliver(bool whole, QString& error) {
  auto& device = static_cast<DescriptorDevice&>(*device_);
  if (!whole || device.Error() != 0) {
    if (device.Error() == EPIPE) return false;  // the reader left, as "| head" does: nothing to say
    const QString reason =
        device.Error() != 0 ? FileErrorReason(device.Error()) : QStringLiteral("the PDF could not be written whole");
    error = QStringLiteral("cannot write %1: %2").arg(Shown(output_), reason);
    return false;
  }
  if (!finalPath_.isEmpty()) return Rename(error);
  if (!device.Close()) {
    error = QStringLiteral("cannot write the PDF: %1").arg(FileErrorReason(device.Error()));
    return false;
  }
  return true;
}

bool PdfOutput::Rename(QString& error) {
  auto& device = static_cast<DescriptorDevice&>(*device_);
  // The mode last: an old OUTPUT's read-only mode would have kept the PDF out.
  const bool written = ::fchmod(device.Descriptor(), mode_) == 0 && ::fsync(device.Descriptor()) == 0 && device.Close();
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

}  // namespace folivane
