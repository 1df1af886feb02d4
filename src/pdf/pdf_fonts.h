// The fonts of a PDF document: each face used is embedded once as a subset keeping its glyph ids,
// and each size it is drawn at gets a font resource whose widths are the device's advances and
// whose codes are short: one byte for a character of plain ASCII and the first few others.
#pragma once

#include <QByteArray>
#include <QRawFont>
#include <QString>
#include <cstdint>
#include <QStringView>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf/pdf_file.h"

namespace folivane {

class PdfFonts {
 public:
  static constexpr int kNotEmbeddable = -1;

  // The resource for a face at one pixel size, made on first use; kNotEmbeddable for a face
  // without TrueType outlines, whose glyphs are drawn as paths.
  int ResourceFor(const QRawFont& font);
  // Where a glyph is found: a font of the resource (in the page resources by `Name`) and its
  // code there, one or two bytes long.
  struct Code {
    int font = 0;
    std::uint16_t value = 0;
    bool twoBytes = false;
  };
  // The glyph's code, given on first use: a character of printable ASCII keeps its own byte, the
  // next glyphs take the bytes no such character takes, the rest two bytes each. The character
  // noted for the glyph by then decides.
  Code CodeFor(int resource, quint32 glyph) {
    Resource& r = resources_[resource];
    if (glyph < r.codes.size() && r.codes[glyph] != kNoCode) {
      const std::uint32_t code = r.codes[glyph];
      return Code{static_cast<int>(code >> 16), static_cast<std::uint16_t>(code & 0xFFFF),
                  (code & 0xFFFF) >= kFirstTwoByteCode};
    }
    return FirstCode(r, glyph);
  }
  // "/F3", or "/F3.2" for a resource's third font: the name in the page resources.
  const std::string& Name(int resource, int font) const { return resources_[resource].fonts[font].name; }
  double PixelSize(int resource) const { return resources_[resource].pixelSize; }
  // The horizontal scale in percent (the Tz operand) this resource's glyphs are drawn with: it
  // makes the advance most of the face's glyphs are multiples of exact in whole thousandths of
  // the em (37 px at 61 px is 606.557 thousandths: 607 at 99.92708024 %). Every glyph of a
  // fixed-pitch face, the ideographs of a CJK one, the digits and many letters of a proportional
  // one then stand exactly where they were measured without a move of their own.
  double HorizontalScale(int resource) const { return resources_[resource].scale; }
  // How far a viewer moves the pen in device pixels after the glyph in this resource: its /W
  // width, a whole number of thousandths of the em as some viewers read no other, at the
  // horizontal scale. The first use decides it: `suggested` when it is >= 0, the
  // font's advance otherwise.
  double Advance(int resource, quint32 glyph, double suggested) {
    Resource& r = resources_[resource];
    if (glyph < r.advances.size() && r.advances[glyph] >= 0) return r.advances[glyph];
    return FirstAdvance(r, glyph, suggested);
  }
  // Records the character a glyph stands for, for search and copy; the first one noted stays.
  void NoteCharacter(int resource, quint32 glyph, char32_t character) {
    Program& program = programs_[resources_[resource].program];
    if (glyph < program.characters.size() && program.characters[glyph] != 0) return;
    NoteFirstCharacter(program, glyph, character);
  }
  // Whether a character was noted for the glyph: noting another one changes nothing then.
  bool CharacterNoted(int resource, quint32 glyph) const {
    const Program& program = programs_[resources_[resource].program];
    return glyph < program.characters.size() && program.characters[glyph] != 0;
  }
  // Records the characters a glyph was shaped from (a ligature's are several); the first text
  // noted for the glyph stays.
  void NoteCluster(int resource, quint32 glyph, QStringView text);
  // Whether the glyph's text was noted, or looked for without finding any: nothing more is
  // learnt by shaping it again.
  bool Noted(int resource, quint32 glyph) const {
    const Program& program = programs_[resources_[resource].program];
    return glyph < program.looked.size() && program.looked[glyph];
  }

  // Writes every font program, descriptor, character map and resource; returns the entries of
  // the font resource dictionary ("/F0 12 0 R ...").
  std::string WriteAll(PdfFile& file) const;

 private:
  struct Program {
    QRawFont font;                                         // any size: for its tables and names
    std::string key;                                       // family, style and the head table: one face file
    std::vector<char32_t> characters;                      // by glyph id; 0 when none noted
    std::unordered_map<quint32, std::u16string> clusters;  // glyphs that stand for several characters
    std::vector<bool> looked;                              // by glyph id: text noted, or looked for and none found
    std::vector<bool> used;                                // by glyph id
  };
  static constexpr std::uint32_t kNoCode = 0xFFFFFFFF;
  static constexpr std::uint16_t kFirstTwoByteCode = 0x8000;
  // One Type0 font of a resource: codes 00 to 7F of one byte, 8000 to FFFF of two.
  struct CodedFont {
    std::string name;
    std::vector<std::pair<std::uint16_t, quint32>> glyphs;  // code and glyph, in order given
    bool oneByteTaken[0x80] = {};
    std::uint32_t nextTwoByte = kFirstTwoByteCode;
  };
  struct Resource {
    QRawFont font;
    int program = 0;
    double pixelSize = 0;
    std::string name;
    double scale = 100;                // percent
    std::vector<double> advances;      // by glyph id, as a viewer adds them up; -1 until used
    std::vector<int> widths;           // by glyph id: the /W width
    std::vector<std::uint32_t> codes;  // by glyph id: font << 16 | code, or kNoCode
    std::vector<CodedFont> fonts;
  };

  double FirstAdvance(Resource& resource, quint32 glyph, double suggested);
  Code FirstCode(Resource& resource, quint32 glyph);
  static void NoteFirstCharacter(Program& program, quint32 glyph, char32_t character);
  static void MarkLooked(Program& program, quint32 glyph);
  int ProgramFor(const QRawFont& font);
  void WriteProgram(PdfFile& file, const Program& program, int descriptor, std::string& baseFont) const;

  std::vector<Program> programs_;
  std::vector<Resource> resources_;
  std::vector<std::pair<QRawFont, int>> known_;  // every raw font seen, with its resource
  int lastKnown_ = -1;
};

}  // namespace folivane
