#include "intake/source_copy.h"

#include <QFile>
#include <QStringDecoder>
#include <algorithm>

namespace folivane {

namespace {

// Whether the bytes end inside a UTF-8 sequence that a further byte could still complete.
bool EndsInsideSequence(QByteArrayView bytes) {
  for (qsizetype back = 1; back <= 3 && back <= bytes.size(); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;
    const int length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back;
  }
  return false;
}

// Reads and decodes in one pass while the bytes are well-formed UTF-8, the common case, so that
// they need no buffer of their own beside the text. At the first ill-formed sequence the bytes
// so far (the text so far encoded again, which gives them back exactly, and what the decoder
// still holds) and the rest of the source go through the rules for the whole copy.
DecodedText ReadAndDecode(ByteSource& source, const IntakeOptions& options, bool& cutShort) {
  cutShort = false;
  if (options.encoding != QByteArrayView(kAutomaticEncoding)) {
    const QByteArray bytes = ReadAtMost(source, options.maxBytes, cutShort);
    return DecodeCopyText(bytes, options.encoding);
  }
  QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
  QString text;
  const qint64 hint = source.SizeHint();
  if (hint >= 0) text.reserve(static_cast<qsizetype>(std::min(hint, options.maxBytes)));
  QByteArray chunk(kReadSize, Qt::Uninitialized);
  QByteArray carried;  // the last bytes of the chunk before, which the decoder may still hold
  qint64 total = 0;
  for (;;) {
    if (total == options.maxBytes) {
      char probe;
      cutShort = source.Read(&probe, 1) > 0;
      break;
    }
    const std::ptrdiff_t count = source.Read(chunk.data(), std::min<qint64>(kReadSize, options.maxBytes - total));
    if (count <= 0) break;
    const QByteArrayView bytes(chunk.constData(), count);
    const qsizetype before = text.size();
    text.resize(before + decoder.requiredSpace(count));
    const QChar* end = decoder.appendToBuffer(text.data() + before, bytes);
    text.truncate(end - text.constData());
    total += count;
    if (decoder.hasError()) {
      QByteArray whole = QStringView(text).first(before).toUtf8();
      const qint64 held = (total - count) - whole.size();
      whole += carried.right(held);
      whole += bytes;
      text = QString();
      bool restCut = false;
      whole += ReadAtMost(source, options.maxBytes - total, restCut);
      cutShort = restCut;
      return DecodeIllFormedCopyText(whole);
    }
    carried = (carried + bytes.last(std::min<qsizetype>(3, count)).toByteArray()).right(3);
  }
  if (EndsInsideSequence(carried)) {
    // A sequence cut off by the end is ill-formed too; the bytes are all still at hand.
    QByteArray whole = text.toUtf8();
    whole += carried.right(total - whole.size());
    text = QString();
    return DecodeIllFormedCopyText(whole);
  }
  return {std::move(text), "UTF-8"};
}

}  // namespace

QString IdeVersionOf(const QString& markerLine) {
  const QStringView rest = QStringView(markerLine).mid(kIdeOptionsMarkerLength);
  const qsizetype equalsSign = rest.indexOf(u'=');
  return (equalsSign < 0 ? rest : rest.left(equalsSign)).toString();
}

void ReadSourceLines(ByteSource& source, SourceText& out, const IntakeOptions& options) {
  out = SourceText();
  DecodedText decoded = ReadAndDecode(source, options, out.cutShort);
  out.text = std::move(decoded.text);
  out.encoding = std::move(decoded.encoding);
  const QStringView marker(kIdeOptionsMarker, kIdeOptionsMarkerLength);
  LineSplitter splitter(out.text);
  // Counted first, so the list takes its memory once instead of growing by copies.
  out.lines.reserve(splitter.CountRemaining(options.maxLines));
  bool optionsSeen = false;
  QStringView line;
  while (splitter.Next(line)) {
    if (line.startsWith(marker)) {
      out.ideVersion = IdeVersionOf(line.toString());
      optionsSeen = true;
    }
    if (optionsSeen) continue;
    if (out.lines.size() >= options.maxLines) {
      out.cutShort = true;
      continue;
    }
    // A view into out.text: a line costs its list slot alone.
    out.lines.append(line.isEmpty() ? QString() : QString::fromRawData(line.data(), line.size()));
  }
}

QString FileNamePart(const QString& path) {
  const qsizetype lastSeparator = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
  qsizetype start = lastSeparator + 1;
  if (lastSeparator < 0 && path.startsWith(u'"')) start = 1;
  qsizetype end = path.indexOf(u'"', start);
  if (end < 0) end = path.size();
  return path.mid(start, end - start);
}

}  // namespace folivane
