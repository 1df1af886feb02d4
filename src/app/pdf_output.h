// Where folivane-pdf puts its PDF: a temporary file renamed over OUTPUT once whole, or a stream.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

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
// through to its last target, every link kept. Anything else that can be written (a pipe, a FIFO, a character device,
// and "-" for standard output) is opened once and gets the finished PDF as it stands.
class PdfOutput {
 public:
  // Prepares OUTPUT; null with `error` set when OUTPUT is the file `source` names or cannot be
  // written. While a PdfOutput lives, SIGINT, SIGTERM, SIGHUP and SIGPIPE remove its temporary
  // files (unless the caller ignores them).
  static std::unique_ptr<PdfOutput> Prepare(const QByteArray& output, const FileIdentity& source, QString& error);
  ~PdfOutput();
  PdfOutput(const PdfOutput&) = delete;
  PdfOutput& operator=(const PdfOutput&) = delete;

  // The file the PDF surface writes the document to.
  QString RenderPath() const;
  // Checks that the rendered PDF is whole and delivers it; false with `error` set otherwise, the
  // temporary file removed and a regular OUTPUT left as it was. `error` stays empty when the
  // reader of a stream left before the end (EPIPE, as after "| head").
  bool Deliver(QString& error);

 private:
  PdfOutput() = default;
  bool Rename(QString& error);
  bool Stream(QString& error);

  QByteArray finalPath_;   // the regular file to replace; empty for a stream
  QByteArray placePath_;   // the temporary file beside it, renamed over it at the end
  QByteArray renderPath_;  // where the PDF is rendered: placePath_, or a scratch file
  int stream_ = -1;        // the opened stream, for outputs that are not regular files
  unsigned mode_ = 0;      // the permissions the new OUTPUT gets
  FileIdentity source_;
  bool delivered_ = false;
};

// True when the file holds a PDF that ends as a whole one does: a cross-reference section where
// its last "startxref" says, and the end-of-file marker after it.
bool PdfLooksWhole(const QByteArray& path);

}  // namespace folivane
