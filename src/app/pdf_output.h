// Where folivane-pdf puts its PDF: a temporary file renamed over OUTPUT once whole, or a stream.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QIODevice;

namespace folivane {

// The identity of a file (device and inode), to tell whether two paths name the same file.
struct FileIdentity {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  bool known = false;
};

// The identity of the file a path names, following symbolic links; unknown when there is none.
FileIdentity IdentityOf(const QByteArray& path);

// A regular OUTPUT (or one that does not exist yet) gets the PDF through a temporary file in its
// folder that is renamed over it only when the PDF is whole, so a failure or a signal never
// leaves a broken OUTPUT and an old one stays as it was. A link, or a chain of them, is written
// through to its last target, every link kept. Anything else that can be written (a pipe, a
// FIFO, a character device, and "-" for standard output) is opened once and gets the PDF as it
// is written.
//
// Qt's QSaveFile does the first half of this, but it can neither be cleaned up after a signal
// nor look at OUTPUT again just before the rename, and it names files by text, which not every
// file name is: this is the platform's own layer.
class PdfOutput {
 public:
  // Prepares OUTPUT; null with `error` set when OUTPUT is the file `source` names or cannot be
  // written. While a PdfOutput lives, SIGINT, SIGTERM, SIGHUP and SIGPIPE remove its temporary
  // file (unless the caller ignores them).
  static std::unique_ptr<PdfOutput> Prepare(const QByteArray& output, const FileIdentity& source, QString& error);
  ~PdfOutput();
  PdfOutput(const PdfOutput&) = delete;
  PdfOutput& operator=(const PdfOutput&) = delete;

  // Where the PDF is written, open for writing.
  QIODevice& Device() { return *device_; }
  // Delivers what was written; `whole` says that the writer handed over the whole document.
  // False with `error` set otherwise, the temporary file removed and a regular OUTPUT left as
  // it was. `error` stays empty when the reader of a stream left before the end (EPIPE, as after
  // "| head").
  bool Deliver(bool whole, QString& error);

 private:
  PdfOutput() = default;
  bool Rename(QString& error);

  std::unique_ptr<QIODevice> device_;
  QByteArray output_;     // as the user named it
  QByteArray finalPath_;  // the regular file to replace; empty for a stream
  QByteArray placePath_;  // the temporary file beside it, renamed over it at the end
  unsigned mode_ = 0;     // the permissions the new OUTPUT gets
  FileIdentity source_;
  bool delivered_ = false;
};

}  // namespace folivane
