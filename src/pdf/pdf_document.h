// A PDF document: pages sharing one set of resources (fonts, images, forms), written as they come.
#pragma once

#include <QDateTime>
#include <QImage>
#include <QSize>
#include <QString>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "pdf/content_stream.h"
#include "pdf/deflate_pool.h"
#include "pdf/image_stream.h"
#include "pdf/pdf_file.h"
#include "pdf/pdf_fonts.h"

class QIODevice;

namespace folivane {

// The pages are deflated on `workers` threads (0: on the caller's) and written in order, a few
// pages behind the caller: memory holds a few pages, never the document. Equal calls give equal
// bytes, whatever the number of workers.
class PdfDocument {
 public:
  // A picture among `knownImages` is stored as deflated there (they outlive the document).
  PdfDocument(QIODevice& device, QSize pagePoints, int workers, std::span<const KnownImageStream> knownImages = {});
  ~PdfDocument();
  PdfDocument(const PdfDocument&) = delete;
  PdfDocument& operator=(const PdfDocument&) = delete;

  // Writes the file's header; false when the device takes nothing.
  bool Start();
  PdfFonts& Fonts() { return fonts_; }
  // The name of the image in the resources ("/Im5"), stored on first use and deflated beside
  // the drawing.
  std::string ImageName(const QImage& image);
  // A form drawn from `content` wherever it is named ("/Fm7"), its box `size` from the origin.
  std::string AddForm(const ContentStream& content, QSize size);
  void AddPage(ContentStream page);
  // Writes what is left and the document information; true when the whole file was handed to
  // the device and every page and form was sound.
  bool Finish(const QString& title, const QDateTime& created);

 private:
  struct Image {
    qint64 key = 0;  // QImage::cacheKey
    int number = 0;
    std::string dictionary;
    DeflatePool::Ticket deflated;  // null for a known picture
    std::string_view deflatedBefore;
  };

  void WriteOldestPage();

  PdfFile file_;
  QSize pagePoints_;
  int workers_ = 0;
  std::unique_ptr<DeflatePool> pool_;
  PdfFonts fonts_;
  int pagesObject_ = 0;
  int resourcesObject_ = 0;
  std::deque<DeflatePool::Ticket> pagesInFlight_;
  int pagesAdded_ = 0;
  std::deque<std::pair<int, DeflatePool::Ticket>> trialPages_;  // by page index, oldest first
  std::vector<int> pageObjects_;
  std::vector<Image> images_;
  std::vector<int> forms_;
  std::span<const KnownImageStream> knownImages_;
  bool sound_ = true;
};

}  // namespace folivane
