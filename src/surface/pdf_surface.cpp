#include "surface/pdf_surface.h"

#include <QGuiApplication>
#include <QThread>
#include <algorithm>

#include "surface/logo_streams.h"
#include "surface/painter_surface.h"

namespace folivane {

namespace {

constexpr double kDotsPerMetre = kPdfResolution / 0.0254;

int DefaultWorkers() { return std::max(1, QThread::idealThreadCount()); }

}  // namespace

PdfSurface::PdfSurface(QIODevice& output, const QPageSize& pageSize, const QRect& printableArea,
                       const QDateTime& creationDate, int workers)
    : output_(output),
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
  // A job left open is finished here; without memory for it the document stays incomplete, which
  // Written() reports, and no exception leaves the destructor.
  try {
    CloseJob();
  } catch (...) {
  }
}

int PdfSurface::PrintableWidth() const { return printableArea_.width(); }

int PdfSurface::PrintableHeight() const { return printableArea_.height(); }

int PdfSurface::OpenJob(const QString& documentName) {
  if (document_ || written_) return 0;
  document_.emplace(output_, pagePoints_, workers_, kLogoStreams);
  settledGlyphs_.clear();
  if (!document_->Start()) {
    document_.reset();
    return 0;
  }
  title_ = documentName;
  StartPage();
  return 1;
}

bool PdfSurface::BeginDrawing() {
  if (!document_) return false;
  state_ = DrawingState{};
  measurer_.SelectFont(QGuiApplication::font());
  return true;
}

void PdfSurface::EndDrawing() { state_.reset(); }

void PdfSurface::StartPage() {
  content_ = ContentStream(ContentStream::Start::kPage);
  content_.Reserve(64 * 1024);
  // One matrix takes device pixels of the printable area (y down) to points on the sheet. It is
  // written as the Qt PDF target writes it, scale then offset: rows that end on a whole pixel of
  // a 100 dpi rendering then round the same way in both.
  content_.Transform(0.12, 0, 0, -0.12, 0, pagePoints_.height(), ContentStream::kSpace);
  content_.Transform(1, 0, 0, 1, printableArea_.left(), printableArea_.top());
  content_.Rectangle(0, 0, printableArea_.width(), printableArea_.height(), ContentStream::kSpace);
  content_.Clip(ContentStream::kSpace);
  content_.EndPath();
}

void PdfSurface::FinishPage() {
  EndRepeatedPart();
  LeaveText();
  document_->AddPage(std::move(content_));
}

void PdfSurface::NextPage() {
  if (!document_) return;
  FinishPage();
  StartPage();
}

void PdfSurface::CloseJob() {
  if (!document_) return;
  state_.reset();
  FinishPage();
  written_ = document_->Finish(title_, creationDate_);
  document_.reset();
}

void PdfSurface::UseFont(const Font& font) {
  if (!font.valid) return;
  measurer_.SelectFont(font.qfont);
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
  if (!content_.FillIs(colour)) content_.SetFillColour(colour);
}

void PdfSurface::FillBox(int x, int y, int width, int height, QRgb colour) {
  if (!state_ || !document_ || width <= 0 || height <= 0) return;
  LeaveText();
  SetFill(colour & 0xFFFFFF);
  content_.Rectangle(x, y, width, height, ContentStream::kSpace);
  content_.Fill();
}

void PdfSurface::PutImage(const QImage& image, int x, int y) {
  if (!state_ || !document_ || image.isNull()) return;
  const std::string name = document_->ImageName(image);
  LeaveText();
  content_.Save(ContentStream::kSpace);
  content_.Transform(image.width(), 0, 0, -image.height(), x, static_cast<double>(y) + image.height(),
                     ContentStream::kSpace);
  content_.Draw(name, ContentStream::kSpace);
  content_.Restore();
}

void PdfSurface::BeginRepeatedPart() {
  if (!document_ || inPart_) return;
  LeaveText();
  inPart_ = true;
  // The part sets every colour and scale it uses itself, so that it draws the same wherever it
  // is shown.
  pageContent_ = std::move(content_);
  content_ = ContentStream(ContentStream::Start::kForm);
}

void PdfSurface::EndRepeatedPart() {
  if (!inPart_) return;
  LeaveText();
  inPart_ = false;
  ContentStream part = std::move(content_);
  content_ = std::move(pageContent_);
  pageContent_ = ContentStream();
  auto found = std::find_if(parts_.begin(), parts_.end(),
                            [&](const RepeatedPart& kept) { return kept.content.Bytes() == part.Bytes(); });
  if (found == parts_.end()) {
    // Seen for the first time: drawn inline, and kept in case it comes again. A part that
    // changes on every page fills the few places and is then always drawn inline.
    content_.Append(part);
    if (parts_.size() < kKeptParts) parts_.push_back(RepeatedPart{std::move(part), {}});
    return;
  }
  if (found->form.empty()) found->form = document_->AddForm(found->content, printableArea_.size());
  // A form is drawn in a graphics state of its own: the page's colour and text scale are as they
  // were before.
  content_.Draw(found->form);
}

}  // namespace folivane
