#include "surface/pdf_surface.h"

#include <QGuiApplication>
#include <QRawFont>
#include <QThread>
#include <algorithm>
#include <future>

#include "pdf/page_compressor.h"
#include "surface/painter_surface.h"

namespace folivane {

namespace {

// Pages in flight per worker: enough to keep every core busy while the drawing thread runs ahead.
constexpr std::size_t kPagesPerWorker = 4;
constexpr double kDotsPerMetre = kPdfResolution / 0.0254;

void AppendColour(std::string& out, QRgb colour) {
  for (int component : {qRed(colour), qGreen(colour), qBlue(colour)}) {
    AppendReal(out, component / 255.0);
    out += ' ';
  }
}

// The rows of an RGB image, each with the PNG Paeth filter and its tag byte before it. A smoothly
// scaled picture deflates to half the bytes this way (the logo: 58 against 115 KB).
std::string PaethFilteredRows(const QImage& rgb) {
  const std::size_t rowBytes = static_cast<std::size_t>(rgb.width()) * 3;
  std::string out;
  out.reserve((rowBytes + 1) * static_cast<std::size_t>(rgb.height()));
  const std::string zeros(rowBytes, '\0');
  const auto* above = reinterpret_cast<const unsigned char*>(zeros.data());
  for (int y = 0; y < rgb.height(); ++y) {
    const unsigned char* row = rgb.constScanLine(y);
    out += '\4';
    for (std::size_t i = 0; i < rowBytes; ++i) {
      const int left = i >= 3 ? row[i - 3] : 0;
      const int up = above[i];
      const int upLeft = i >= 3 ? above[i - 3] : 0;
      const int guess = left + up - upLeft;
      const int toLeft = std::abs(guess - left);
      const int toUp = std::abs(guess - up);
      const int toUpLeft = std::abs(guess - upLeft);
      const int predicted = toLeft <= toUp && toLeft <= toUpLeft ? left : toUp <= toUpLeft ? up : upLeft;
      out += static_cast<char>(row[i] - predicted);
    }
    above = row;
  }
  return out;
}

int DefaultWorkers() { return std::max(1, QThread::idealThreadCount()); }

}  // namespace

PdfSurface::PdfSurface(const QString& outputPath, const QPageSize& pageSize, const QRect& printableArea,
                       const QDateTime& creationDate, int workers)
    : outputPath_(outputPath),
      pagePoints_(pageSize.sizePoints()),
      printableArea_(printableArea),
      creationDate_(creationDate),
      metricsDevice_(1, 1, QImage::Format_RGB32),
      workers_(workers < 0 ? DefaultWorkers() : workers) {
  metricsDevice_.setDotsPerMeterX(qRound(kDotsPerMetre));
  metricsDevice_.setDotsPerMeterY(qRound(kDotsPerMetre));
  measurer_.SetDevice(&metricsDevice_);
}

PdfSurface::~PdfSurface() {
  // A job left open is finished here; without memory for it the file stays incomplete, which
  // Written() reports, and no exception leaves the destructor.
  try {
    CloseJob();
  } catch (...) {
  }
}

int PdfSurface::PrintableWidth() const { return printableArea_.width(); }

int PdfSurface::PrintableHeight() const { return printableArea_.height(); }

int PdfSurface::OpenJob(const QString& documentName) {
  if (open_ || written_) return 0;
  if (!file_.Open(outputPath_)) return 0;
  title_ = documentName;
  pagesObject_ = file_.Reserve();
  resourcesObject_ = file_.Reserve();
  compressor_ = std::make_unique<PageCompressor>(workers_);
  open_ = true;
  StartPage();
  return 1;
}

bool PdfSurface::BeginDrawing() {
  if (!open_) return false;
  state_ = DrawingState{};
  measurer_.SelectFont(QGuiApplication::font());
  fontKey_ = QGuiApplication::font().key();
  return true;
}

void PdfSurface::EndDrawing() { state_.reset(); }

void PdfSurface::StartPage() {
  content_.clear();
  content_.reserve(64 * 1024);
  // One matrix takes device pixels of the printable area (y down) to points on the sheet. It is
  // written as the Qt PDF target writes it, scale then offset: rows that end on a whole pixel of
  // a 100 dpi rendering then round the same way in both.
  content_ += "0.12 0 0 -0.12 0 ";
  AppendInt(content_, pagePoints_.height());
  content_ += " cm 1 0 0 1 ";
  AppendInt(content_, printableArea_.left());
  content_ += ' ';
  AppendInt(content_, printableArea_.top());
  content_ += " cm\n0 0 ";
  AppendInt(content_, printableArea_.width());
  content_ += ' ';
  AppendInt(content_, printableArea_.height());
  content_ += " re W n\n";
  fillKnown_ = false;
  inText_ = false;
  textResource_ = -1;
  textScale_ = 100;  // a content stream starts unscaled
}

void PdfSurface::FinishPage() {
  EndRepeatedPart();
  LeaveText();
  compressor_->Submit(std::move(content_));
  content_ = std::string();
  while (compressor_->InFlight() > kPagesPerWorker * std::max(workers_, 1)) {
    WritePage(compressor_->TakeOldest());
  }
}

void PdfSurface::WritePage(const std::string& deflated) {
  const int contents = file_.Reserve();
  file_.WriteStream(contents, " /Filter /FlateDecode", deflated);
  const int page = file_.Reserve();
  std::string body = "<< /Type /Page /Parent ";
  AppendInt(body, pagesObject_);
  body += " 0 R /Resources ";
  AppendInt(body, resourcesObject_);
  body += " 0 R /Contents ";
  AppendInt(body, contents);
  body += " 0 R >>";
  file_.WriteObject(page, body);
  pageObjects_.push_back(page);
}

void PdfSurface::NextPage() {
  if (!open_) return;
  FinishPage();
  StartPage();
}

void PdfSurface::CloseJob() {
  if (!open_) return;
  open_ = false;
  state_.reset();
  if (compressor_) {
    FinishPage();
    while (compressor_->InFlight() > 0) WritePage(compressor_->TakeOldest());
    compressor_.reset();
  }

  std::string resources = "<< /Font << " + fonts_.WriteAll(file_) + ">> /XObject << ";
  for (Image& image : images_) {
    file_.WriteStream(image.number, image.dictionary + " /Filter /FlateDecode", image.deflated.get());
    resources += "/Im";
    AppendInt(resources, image.number);
    resources += ' ';
    AppendInt(resources, image.number);
    resources += " 0 R ";
  }
  for (const RepeatedPart& part : parts_) {
    if (part.form == 0) continue;
    resources += "/Fm";
    AppendInt(resources, part.form);
    resources += ' ';
    AppendInt(resources, part.form);
    resources += " 0 R ";
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
  for (int page : pageObjects_) {
    AppendInt(pages, page);
    pages += " 0 R ";
  }
  pages += "] >>";
  file_.WriteObject(pagesObject_, pages);

  const int info = file_.Reserve();
  std::string infoBody = "<< /Title " + TextString(title_) + " /Producer (Folivane)";
  if (creationDate_.isValid()) {
    infoBody += " /CreationDate (D:" + creationDate_.toString(QStringLiteral("yyyyMMddHHmmss")).toStdString() + ')';
  }
  infoBody += " >>";
  file_.WriteObject(info, infoBody);
  const int catalog = file_.Reserve();
  std::string catalogBody = "<< /Type /Catalog /Pages ";
  AppendInt(catalogBody, pagesObject_);
  catalogBody += " 0 R >>";
  file_.WriteObject(catalog, catalogBody);
  written_ = file_.Finish(catalog, info);
}

void PdfSurface::UseFont(const Font& font) {
  if (!font.valid) return;
  measurer_.SelectFont(font.qfont);
  fontKey_ = font.qfont.key();
}

void PdfSurface::SetForeground(QRgb colour) {
  if (state_) state_->pendingFront = colour & 0xFFFFFF;
}

void PdfSurface::SetBackground(QRgb colour) {
  if (state_) state_->pendingBack = colour & 0xFFFFFF;
}

void PdfSurface::SetTransparentText() {
  if (state_) state_->transparent = true;
}

void PdfSurface::SetFill(QRgb colour) {
  if (fillKnown_ && fill_ == colour) return;
  fill_ = colour;
  fillKnown_ = true;
  AppendColour(content_, colour);
  content_ += "rg\n";
}

void PdfSurface::FillBox(int x, int y, int width, int height, QRgb colour) {
  if (!state_ || !open_ || width <= 0 || height <= 0) return;
  LeaveText();
  SetFill(colour & 0xFFFFFF);
  AppendInt(content_, x);
  content_ += ' ';
  AppendInt(content_, y);
  content_ += ' ';
  AppendInt(content_, width);
  content_ += ' ';
  AppendInt(content_, height);
  content_ += " re f\n";
}

void PdfSurface::PutImage(const QImage& image, int x, int y) {
  if (!state_ || !open_ || image.isNull()) return;
  int number = 0;
  for (const Image& known : images_)
    if (known.key == image.cacheKey()) number = known.number;
  if (number == 0) {
    // Stored once and drawn on every page that shows it. It is deflated beside the drawing (the
    // logo takes a tenth of a small job's time), or when written with the resources if no
    // thread can be had.
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
    images_.push_back(Image{image.cacheKey(), number, std::move(dictionary),
                            std::async(std::launch::async | std::launch::deferred,
                                       [rgb] { return Deflater(false)(PaethFilteredRows(rgb)); })});
  }
  LeaveText();
  content_ += "q ";
  AppendInt(content_, image.width());
  content_ += " 0 0 ";
  AppendInt(content_, -image.height());
  content_ += ' ';
  AppendInt(content_, x);
  content_ += ' ';
  AppendInt(content_, static_cast<long long>(y) + image.height());
  content_ += " cm /Im";
  AppendInt(content_, number);
  content_ += " Do Q\n";
}

void PdfSurface::BeginRepeatedPart() {
  if (!open_ || inPart_) return;
  LeaveText();
  inPart_ = true;
  scaleBeforePart_ = textScale_;
  textScale_ = -1;  // whatever the part is drawn after
  pageContent_ = std::move(content_);
  content_ = std::string();
  // The part sets every colour it uses itself, so that it draws the same wherever it is shown.
  fillBeforePart_ = fill_;
  fillKnownBeforePart_ = fillKnown_;
  fillKnown_ = false;
}

void PdfSurface::EndRepeatedPart() {
  if (!inPart_) return;
  LeaveText();
  inPart_ = false;
  std::string part = std::move(content_);
  content_ = std::move(pageContent_);
  pageContent_ = std::string();
  auto found =
      std::find_if(parts_.begin(), parts_.end(), [&](const RepeatedPart& kept) { return kept.content == part; });
  if (found == parts_.end()) {
    // Seen for the first time: drawn inline, and kept in case it comes again. A part that
    // changes on every page fills the few places and is then always drawn inline.
    content_ += part;
    if (parts_.size() < kKeptParts) parts_.push_back(RepeatedPart{std::move(part), 0});
    return;
  }
  if (found->form == 0) {
    found->form = file_.Reserve();
    std::string dictionary = " /Type /XObject /Subtype /Form /BBox [0 0 ";
    AppendInt(dictionary, printableArea_.width());
    dictionary += ' ';
    AppendInt(dictionary, printableArea_.height());
    dictionary += "] /Resources ";
    AppendInt(dictionary, resourcesObject_);
    dictionary += " 0 R";
    file_.WriteDeflatedStream(found->form, dictionary, found->content);
  }
  // A form is drawn in a graphics state of its own: the page's colour and text scale are as they
  // were before.
  fill_ = fillBeforePart_;
  fillKnown_ = fillKnownBeforePart_;
  textScale_ = scaleBeforePart_;
  content_ += "/Fm";
  AppendInt(content_, found->form);
  content_ += " Do\n";
}

}  // namespace folivane
