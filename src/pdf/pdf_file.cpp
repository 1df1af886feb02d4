#include "pdf/pdf_file.h"

#include <QIODevice>

namespace folivane {

bool PdfFile::Start() {
  // The second line's high bytes mark the file as binary for tools that guess.
  Write("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
  // At once: a device that takes nothing ends the job before it is drawn.
  Flush();
  return !failed_;
}

void PdfFile::Write(std::string_view bytes) {
  position_ += static_cast<std::int64_t>(bytes.size());
  if (failed_) return;
  // Small pieces (an object's head and tail) are gathered; a page's stream goes out as it is.
  if (waiting_.size() + bytes.size() <= kGathered) {
    waiting_ += bytes;
    return;
  }
  Flush();
  if (bytes.size() <= kGathered) {
    waiting_ += bytes;
  } else if (device_.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
    failed_ = true;
  }
}

void PdfFile::Flush() {
  if (!failed_ && !waiting_.empty() &&
      device_.write(waiting_.data(), static_cast<qint64>(waiting_.size())) != static_cast<qint64>(waiting_.size())) {
    failed_ = true;
  }
  waiting_.clear();
}

void PdfFile::WriteObject(int number, std::string_view body) {
  if (packing_ == 0) packing_ = Reserve();
  entries_.at(number) = Entry{Entry::kPacked, packing_, packedCount_};
  AppendInt(packedOffsets_, number);
  packedOffsets_ += ' ';
  AppendInt(packedOffsets_, static_cast<long long>(packedBodies_.size()));
  packedOffsets_ += ' ';
  packedBodies_ += body;
  packedBodies_ += '\n';
  if (++packedCount_ == kObjectsPerStream) WritePacked();
}

void PdfFile::WritePacked() {
  if (packing_ == 0) return;
  const int stream = packing_;
  packing_ = 0;
  std::string dictionary = " /Type /ObjStm /N ";
  AppendInt(dictionary, packedCount_);
  dictionary += " /First ";
  AppendInt(dictionary, static_cast<long long>(packedOffsets_.size()));
  WriteDeflatedStream(stream, dictionary, packedOffsets_ + packedBodies_);
  packedOffsets_.clear();
  packedBodies_.clear();
  packedCount_ = 0;
}

void PdfFile::WriteStream(int number, std::string_view dictionary, std::string_view data) {
  entries_.at(number) = Entry{Entry::kInFile, position_, 0};
  std::string head;
  AppendInt(head, number);
  head += " 0 obj\n<<";
  head += dictionary;
  head += " /Length ";
  AppendInt(head, static_cast<long long>(data.size()));
  head += ">>\nstream\n";
  Write(head);
  Write(data);
  Write("\nendstream\nendobj\n");
}

void PdfFile::WriteDeflatedStream(int number, std::string dictionary, const std::string& data) {
  if (!deflater_) deflater_.emplace();
  dictionary += " /Filter /FlateDecode";
  WriteStream(number, dictionary, deflater_->Deflate(data));
}

bool PdfFile::Finish(int catalog, int info) {
  WritePacked();
  const int xref = Reserve();
  entries_[xref] = Entry{Entry::kInFile, position_, 0};
  // Fields of 1, as many bytes as the largest offset needs, and 2 bytes (object 0's 65535).
  int offsetBytes = 1;
  for (const Entry& entry : entries_) {
    while (offsetBytes < 8 && (entry.offset >> (8 * offsetBytes)) != 0) ++offsetBytes;
  }
  std::string table;
  table.reserve(entries_.size() * static_cast<std::size_t>(offsetBytes + 3));
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const Entry& entry = entries_[i];
    if (entry.kind == Entry::kUnwritten) failed_ = true;
    const int type = i == 0 ? 0 : entry.kind == Entry::kPacked ? 2 : 1;
    const int last = i == 0 ? 0xFFFF : entry.index;
    table += static_cast<char>(type);
    for (int shift = 8 * (offsetBytes - 1); shift >= 0; shift -= 8)
      table += static_cast<char>((entry.offset >> shift) & 0xFF);
    table += static_cast<char>(last >> 8);
    table += static_cast<char>(last & 0xFF);
  }
  std::string dictionary = " /Type /XRef /Size ";
  AppendInt(dictionary, static_cast<long long>(entries_.size()));
  dictionary += " /W [1 ";
  AppendInt(dictionary, offsetBytes);
  dictionary += " 2] /Root " + Reference(catalog) + " /Info " + Reference(info);
  const std::int64_t start = position_;
  WriteDeflatedStream(xref, dictionary, table);
  std::string tail = "startxref\n";
  AppendInt(tail, start);
  tail += "\n%%EOF\n";
  Write(tail);
  Flush();
  return !failed_;
}

}  // namespace folivane
