#include "pdf/pdf_document.h"

#include <algorithm>

#include "pdf/image_stream.h"
#include "pdf/pdf_syntax.h"

namespace folivane {

namespace {

// Pages in flight per worker: enough to keep every core busy while the drawing thread runs ahead.
constexpr std::size_t kPagesPerWorker = 4;
// Deflating a page at the greedy level too pays only on text that repeats with small changes (a
// long line wrapped over many rows); on most listings it never gives the smaller stream and
// costs four fifths of the thorough level's time. So every kTrialEvery-th page tries both
// levels, and a page in between tries both only when the last trial at least kTrialLag pages
// before it found the greedy level smaller: the choice hangs on the pages alone, never on how
// far the workers have got.
constexpr int kTrialEvery = 8;
constexpr int kTrialLag = 16;

}  // namespace

PdfDocument::PdfDocument(QIODevice& device, QSize pagePoints, int workers,
                         std::span<const KnownImageStream> knownImages)
    : file_(device), pagePoints_(pagePoints), workers_(std::max(workers, 0)), knownImages_(knownImages) {}

// The workers stop before the fonts and pages they might still read go.
PdfDocument::~PdfDocument() { pool_.reset(); }

bool PdfDocument::Start() {
  if (!file_.Start()) return false;
  pagesObject_ = file_.Reserve();
  resourcesObject_ = file_.Reserve();
  pool_ = std::make_unique<DeflatePool>(workers_);
  return true;
}

std::string PdfDocument::ImageName(const QImage& image) {
  int number = 0;
  for (const Image& known : images_)
    if (known.key == image.cacheKey()) number = known.number;
  if (number == 0) {
    // Stored once and drawn on every page that shows it; it deflates beside the drawing.
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    number = file_.Reserve();
    std::string dictionary = " /Type /XObject /Subtype /Image /Width ";
    AppendInt(dictionary, rgb.width());
    dictionary += " /Height ";
    AppendInt(dictionary, rgb.height());
    dictionary += " /ColorSpace /DeviceRGB /BitsPerComponent 8";
    dictionary += " /DecodeParms << /Predictor 15 /Colors 3 /Columns ";
    AppendInt(dictionary, rgb.width());
    dictionary += " >>";
    const quint64 digest = SamplesDigest(rgb);
    const auto known = std::find_if(knownImages_.begin(), knownImages_.end(), [&](const KnownImageStream& k) {
      return k.width == rgb.width() && k.height == rgb.height() && k.digest == digest;
    });
    if (known != knownImages_.end()) {
      images_.push_back(Image{image.cacheKey(), number, std::move(dictionary), nullptr, known->deflated});
    } else {
      images_.push_back(Image{image.cacheKey(),
                              number,
                              std::move(dictionary),
                              pool_->Submit([rgb] { return PaethFilteredRows(rgb); }, Deflater::Effort::kThoroughOnly),
                              {}});
    }
  }
  std::string name = "/Im";
  AppendInt(name, number);
  return name;
}

std::string PdfDocument::AddForm(const ContentStream& content, QSize size) {
  sound_ = sound_ && content.Sound();
  const int number = file_.Reserve();
  std::string dictionary = " /Type /XObject /Subtype /Form /BBox [0 0 ";
  AppendInt(dictionary, size.width());
  dictionary += ' ';
  AppendInt(dictionary, size.height());
  dictionary += "] /Resources " + Reference(resourcesObject_);
  file_.WriteDeflatedStream(number, dictionary, content.Bytes());
  forms_.push_back(number);
  std::string name = "/Fm";
  AppendInt(name, number);
  return name;
}

void PdfDocument::AddPage(ContentStream page) {
  sound_ = sound_ && page.Sound();
  const int index = pagesAdded_++;
  const bool trial = index % kTrialEvery == 0;
  Deflater::Effort effort = Deflater::Effort::kBothLevels;
  if (!trial && index >= kTrialLag) {
    const int lastTrial = (index - kTrialLag) / kTrialEvery * kTrialEvery;
    while (trialPages_.size() > 1 && trialPages_[1].first <= lastTrial) trialPages_.pop_front();
    if (!pool_->GreedyWon(trialPages_.front().second)) effort = Deflater::Effort::kThoroughOnly;
  }
  pagesInFlight_.push_back(pool_->Submit(page.Take(), effort));
  if (trial) trialPages_.emplace_back(index, pagesInFlight_.back());
  while (pagesInFlight_.size() > kPagesPerWorker * static_cast<std::size_t>(std::max(pool_->Workers(), 1)))
    WriteOldestPage();
}

void PdfDocument::WriteOldestPage() {
  const DeflatePool::Ticket oldest = std::move(pagesInFlight_.front());
  pagesInFlight_.pop_front();
  const std::string deflated = pool_->Take(oldest);
  const int contents = file_.Reserve();
  file_.WriteStream(contents, " /Filter /FlateDecode", deflated);
  const int page = file_.Reserve();
  file_.WriteObject(page, "<< /Type /Page /Parent " + Reference(pagesObject_) + " /Resources " +
                              Reference(resourcesObject_) + " /Contents " + Reference(contents) + " >>");
  pageObjects_.push_back(page);
}

bool PdfDocument::Finish(const QString& title, const QDateTime& created) {
  while (!pagesInFlight_.empty()) WriteOldestPage();

  std::string resources = "<< /Font << " + fonts_.WriteAll(file_) + ">> /XObject << ";
  for (Image& image : images_) {
    file_.WriteStream(image.number, image.dictionary + " /Filter /FlateDecode",
                      image.deflated ? pool_->Take(image.deflated) : std::string(image.deflatedBefore));
    resources += "/Im";
    AppendInt(resources, image.number);
    resources += ' ' + Reference(image.number) + ' ';
  }
  for (int form : forms_) {
    resources += "/Fm";
    AppendInt(resources, form);
    resources += ' ' + Reference(form) + ' ';
  }
  resources += ">> >>";
  file_.WriteObject(resourcesObject_, resources);

  std::string pages = "<< /Type /Pages /MediaBox [0 0 ";
  AppendInt(pages, pagePoints_.width());
  pages += ' ';
  AppendInt(pages, pagePoints_.height());
  pages += "] /Count ";
  AppendInt(pages, static_cast<long long>(pageObjects_.size()));
  pages += " /Kids [";
  for (int page : pageObjects_) pages += Reference(page) + ' ';
  pages += "] >>";
  file_.WriteObject(pagesObject_, pages);

  const int info = file_.Reserve();
  std::string infoBody = "<< /Title " + TextString(title) + " /Producer (Folivane)";
  if (created.isValid()) {
    infoBody += " /CreationDate (D:" + created.toString(QStringLiteral("yyyyMMddHHmmss")).toStdString() + ')';
  }
  infoBody += " >>";
  file_.WriteObject(info, infoBody);
  const int catalog = file_.Reserve();
  file_.WriteObject(catalog, "<< /Type /Catalog /Pages " + Reference(pagesObject_) + " >>");
  return file_.Finish(catalog, info) && sound_;
}

}  // namespace folivane
