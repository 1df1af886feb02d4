// Writing a document's fonts: each face's subset program and descriptor, and for each size it is
// drawn at the CID fonts with their widths, glyph maps and ToUnicode character maps.
#include <hb-subset.h>
#include <hb.h>

#include <QtEndian>
#include <algorithm>
#include <memory>

#include "pdf/pdf_fonts.h"

namespace folivane {

namespace {

constexpr char kEncodingName[] = "Folivane-Codes";

// The tables a PDF viewer reads from a TrueType program; layout tables (GSUB, GPOS) stay out, as
// the glyphs arrive shaped already.
constexpr const char* kTables[] = {"head", "hhea", "hmtx", "maxp", "loca", "glyf", "cvt ",
                                   "fpgm", "prep", "name", "OS/2", "post", "cmap", "gasp"};

struct FaceDeleter {
  void operator()(hb_face_t* face) const { hb_face_destroy(face); }
};
struct BlobDeleter {
  void operator()(hb_blob_t* blob) const { hb_blob_destroy(blob); }
};
struct InputDeleter {
  void operator()(hb_subset_input_t* input) const { hb_subset_input_destroy(input); }
};
using Face = std::unique_ptr<hb_face_t, FaceDeleter>;
using Blob = std::unique_ptr<hb_blob_t, BlobDeleter>;

hb_tag_t Tag(const char* name) { return HB_TAG(name[0], name[1], name[2], name[3]); }

std::uint32_t Fnv1a(std::uint32_t hash, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
  return hash;
}

int Int16At(const QByteArray& table, int offset) {
  if (table.size() < offset + 2) return 0;
  return qFromBigEndian<qint16>(table.constData() + offset);
}

// The characters a PDF name may hold without escapes, and that a PostScript font name uses.
std::string PostScriptSafe(const QString& text) {
  std::string name;
  for (QChar c : text)
    if (c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'-' || c == u'_')) name += static_cast<char>(c.unicode());
  return name;
}

// The face's PostScript name (name table, name 6), as font managers and viewers know the face;
// family and style joined when the table has none.
std::string PostScriptName(const QRawFont& font) {
  const QByteArray table = font.fontTable("name");
  auto u16 = [&](qsizetype offset) -> int {
    return offset + 2 <= table.size() ? qFromBigEndian<quint16>(table.constData() + offset) : -1;
  };
  const int count = u16(2);
  const int strings = u16(4);
  for (int i = 0; i < count && strings >= 0; ++i) {
    const qsizetype record = 6 + qsizetype{12} * i;
    const int platform = u16(record);
    const int nameId = u16(record + 6);
    const int length = u16(record + 8);
    const int offset = u16(record + 10);
    if (nameId != 6 || length <= 0 || offset < 0 || strings + offset + length > table.size()) continue;
    const char* bytes = table.constData() + strings + offset;
    QString text;
    if (platform == 0 || platform == 3) {
      for (int at = 0; at + 1 < length; at += 2)
        text += QChar(static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) << 8 |
                                            static_cast<unsigned char>(bytes[at + 1])));
    } else {
      text = QString::fromLatin1(bytes, length);
    }
    std::string name = PostScriptSafe(text);
    if (!name.empty()) return name.substr(0, 63);
  }
  return PostScriptSafe(font.familyName()) + '-' + PostScriptSafe(font.styleName());
}

void AppendHex4(std::string& out, unsigned value) {
  static const char kHex[] = "0123456789ABCDEF";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
}

void AppendUtf16Hex(std::string& out, char32_t character) {
  if (character >= 0x10000) {
    AppendHex4(out, QChar::highSurrogate(character));
    AppendHex4(out, QChar::lowSurrogate(character));
  } else {
    AppendHex4(out, character);
  }
}

void AppendUtf16Hex(std::string& out, const std::u16string& text) {
  for (char16_t unit : text) AppendHex4(out, unit);
}

void AppendCode(std::string& out, std::uint16_t code, bool twoBytes) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '<';
  if (twoBytes) {
    AppendHex4(out, code);
  } else {
    out += kHex[code >> 4];
    out += kHex[code & 0xF];
  }
  out += '>';
}

// The codes every font of ours uses: one byte 00 to 7F or two bytes 8000 to FFFF.
constexpr char kCodeSpace[] = "2 begincodespacerange\n<00> <7F>\n<8000> <FFFF>\nendcodespacerange\n";

std::string CharacterMapHead(const std::string& name, const char* ordering, int type) {
  std::string map =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (";
  map += ordering;
  map += ") /Supplement 0 >> def\n/CMapName /" + name + " def\n/CMapType ";
  AppendInt(map, type);
  map += " def\n";
  map += kCodeSpace;
  return map;
}

constexpr char kCharacterMapTail[] = "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";

// The encoding of every font: a code's CID is the code itself. Each CID so lies inside the
// code space, which some readers demand of a CID before they map it to text (MuPDF 1.21 drops
// the text of every other glyph); the CIDToGIDMap takes each CID to its glyph.
std::string IdentityCodeMap() {
  std::string map = CharacterMapHead(kEncodingName, "Identity", 1);
  map += "2 begincidrange\n<00> <7F> 0\n<8000> <FFFF> 32768\nendcidrange\n";
  return map + kCharacterMapTail;
}

// ToUnicode: each code to the text its glyph was shaped from.
template <typename AppendTarget>
std::string UnicodeMap(const std::string& name, const std::vector<std::pair<std::uint16_t, quint32>>& glyphs,
                       AppendTarget appendTarget) {
  std::string map = CharacterMapHead(name, "UCS", 2);
  std::string entries;
  int count = 0;
  auto flush = [&] {
    if (count == 0) return;
    AppendInt(map, count);
    map += " beginbfchar\n" + entries + "endbfchar\n";
    entries.clear();
    count = 0;
  };
  for (const auto& [code, glyph] : glyphs) {
    std::string target;
    if (!appendTarget(target, glyph)) continue;
    AppendCode(entries, code, code >= 0x8000);
    entries += ' ';
    entries += target;
    entries += '\n';
    if (++count == 100) flush();
  }
  flush();
  return map + kCharacterMapTail;
}

// The CIDToGIDMap: two bytes of glyph id for each CID from 0 to the highest code used.
std::string GlyphsByCode(const std::vector<std::pair<std::uint16_t, quint32>>& glyphs) {
  std::uint16_t highest = 0;
  for (const auto& entry : glyphs) highest = std::max(highest, entry.first);
  std::string map(2 * (std::size_t{highest} + 1), '\0');
  for (const auto& [code, glyph] : glyphs) {
    map[2 * std::size_t{code}] = static_cast<char>(glyph >> 8);
    map[2 * std::size_t{code} + 1] = static_cast<char>(glyph & 0xFF);
  }
  return map;
}

// The program's glyphs, subset to those used, glyph ids kept; the whole face when the subsetter
// refuses it.
QByteArray SubsetProgram(const QRawFont& font, const std::vector<bool>& used) {
  Face builder(hb_face_builder_create());
  for (const char* name : kTables) {
    const QByteArray table = font.fontTable(name);
    if (table.isEmpty()) continue;
    Blob blob(hb_blob_create(table.constData(), static_cast<unsigned>(table.size()), HB_MEMORY_MODE_DUPLICATE, nullptr,
                             nullptr));
    hb_face_builder_add_table(builder.get(), Tag(name), blob.get());
  }
  Face subset;
  if (std::unique_ptr<hb_subset_input_t, InputDeleter> input{hb_subset_input_create_or_fail()}) {
    hb_set_t* glyphs = hb_subset_input_glyph_set(input.get());
    hb_set_add(glyphs, 0);
    for (std::size_t glyph = 0; glyph < used.size(); ++glyph)
      if (used[glyph]) hb_set_add(glyphs, static_cast<hb_codepoint_t>(glyph));
    hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NO_HINTING);
    subset.reset(hb_subset_or_fail(builder.get(), input.get()));
  }
  Blob blob(hb_face_reference_blob(subset ? subset.get() : builder.get()));
  unsigned length = 0;
  const char* data = hb_blob_get_data(blob.get(), &length);
  return QByteArray(data, static_cast<qsizetype>(length));
}

// "c [w1 w2 ...]" for each run of consecutive codes, in thousandths of the em.
std::string Widths(std::vector<std::pair<std::uint16_t, int>> advances) {
  std::sort(advances.begin(), advances.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string widths = "[";
  int next = -1;
  for (const auto& [code, advance] : advances) {
    if (code != next) {
      if (next >= 0) widths += "]";
      widths += ' ';
      AppendInt(widths, code);
      widths += " [";
    } else {
      widths += ' ';
    }
    AppendInt(widths, advance);
    next = code + 1;
  }
  if (next >= 0) widths += "]";
  widths += " ]";
  return widths;
}

}  // namespace

void PdfFonts::WriteProgram(PdfFile& file, const Program& program, int descriptor, std::string& baseFont) const {
  const QByteArray subset = SubsetProgram(program.font, program.used);
  // The subset's tag comes from what it holds, so the same source gives the same bytes.
  std::uint32_t hash = Fnv1a(2166136261u, program.key.data(), program.key.size());
  for (std::size_t glyph = 0; glyph < program.used.size(); ++glyph) {
    if (program.used[glyph]) hash = Fnv1a(hash, &glyph, sizeof glyph);
  }
  std::string tag;
  for (int i = 0; i < 6; ++i, hash /= 26) tag += static_cast<char>('A' + hash % 26);
  baseFont = tag + '+' + PostScriptName(program.font);

  const int fontFile = file.Reserve();
  file.WriteDeflatedStream(fontFile, " /Length1 " + std::to_string(subset.size()),
                           std::string(subset.constData(), static_cast<std::size_t>(subset.size())));

  const QByteArray head = program.font.fontTable("head");
  const double unitsPerEm = std::max<int>(16, qFromBigEndian<quint16>(head.constData() + 18));
  auto inThousandths = [&](int units) { return units * 1000.0 / unitsPerEm; };
  const QRawFont& font = program.font;
  auto perMille = [&](qreal pixels) { return pixels * 1000.0 / font.pixelSize(); };
  std::string body = "<< /Type /FontDescriptor /FontName /" + baseFont + " /Flags 4 /FontBBox [";
  for (int offset : {36, 38, 40, 42}) {
    body += ' ';
    AppendReal(body, inThousandths(Int16At(head, offset)));
  }
  body += " ] /ItalicAngle 0 /Ascent ";
  AppendReal(body, perMille(font.ascent()));
  body += " /Descent ";
  AppendReal(body, -perMille(font.descent()));
  body += " /CapHeight ";
  AppendReal(body, perMille(font.capHeight()));
  body += " /StemV 80 /FontFile2 " + Reference(fontFile) + " >>";
  file.WriteObject(descriptor, body);
}

std::string PdfFonts::WriteAll(PdfFile& file) const {
  std::vector<int> descriptors;
  std::vector<std::string> baseFonts(programs_.size());
  for (std::size_t i = 0; i < programs_.size(); ++i) {
    descriptors.push_back(file.Reserve());
    WriteProgram(file, programs_[i], descriptors[i], baseFonts[i]);
  }
  std::string dictionary;
  if (resources_.empty()) return dictionary;
  const int encoding = file.Reserve();
  file.WriteDeflatedStream(encoding,
                           std::string(" /Type /CMap /CMapName /") + kEncodingName +
                               " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>",
                           IdentityCodeMap());
  for (const Resource& resource : resources_) {
    const std::string& baseFont = baseFonts[resource.program];
    const Program& program = programs_[resource.program];
    for (const CodedFont& font : resource.fonts) {
      const int glyphMap = file.Reserve();
      file.WriteDeflatedStream(glyphMap, "", GlyphsByCode(font.glyphs));
      std::vector<std::pair<std::uint16_t, int>> widths;
      widths.reserve(font.glyphs.size());
      for (const auto& [code, glyph] : font.glyphs) widths.emplace_back(code, resource.widths[glyph]);
      const int cidFont = file.Reserve();
      std::string body = "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + baseFont +
                         " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
                         " /FontDescriptor " +
                         Reference(descriptors[resource.program]) + " /CIDToGIDMap " + Reference(glyphMap) +
                         " /DW 0 /W ";
      body += Widths(std::move(widths));
      body += " >>";
      file.WriteObject(cidFont, body);

      const std::string mapName = "Folivane-" + font.name.substr(1) + "-UCS";
      const int toUnicode = file.Reserve();
      const std::string unicodeMap = UnicodeMap(mapName, font.glyphs, [&](std::string& out, quint32 glyph) {
        if (const auto cluster = program.clusters.find(glyph); cluster != program.clusters.end()) {
          out += '<';
          AppendUtf16Hex(out, cluster->second);
          out += '>';
          return true;
        }
        if (glyph >= program.characters.size() || program.characters[glyph] == 0) return false;
        out += '<';
        AppendUtf16Hex(out, program.characters[glyph]);
        out += '>';
        return true;
      });
      file.WriteDeflatedStream(toUnicode, "", unicodeMap);

      const int type0 = file.Reserve();
      body = "<< /Type /Font /Subtype /Type0 /BaseFont /" + baseFont + " /Encoding " + Reference(encoding) +
             " /DescendantFonts [" + Reference(cidFont) + "] /ToUnicode " + Reference(toUnicode) + " >>";
      file.WriteObject(type0, body);

      dictionary += font.name + ' ' + Reference(type0) + ' ';
    }
  }
  return dictionary;
}

}  // namespace folivane
