// A source listing written to PDF with cairo or libharu, for comparing those libraries with our writer.
//
// Pages as folivane-pdf pages a source: A4, a printer's margins, Liberation Mono embedded, right-aligned
// line numbers, 86 rows a page; long lines are cut (no wrapping), the IDE options block is left out.
// Each library is used the way its own users use it at its best: cairo's PDF surface with a FreeType
// face and cairo_show_text, libharu with an embedded TrueType font in UTF-8 and every stream deflated.
// The creation date is fixed so that two runs can be compared byte for byte.
//
// Usage: pdf_libraries SOURCE OUTPUT.pdf cairo|haru [raw]
// Invalid UTF-8 is replaced with U+FFFD before the library sees it, as folivane's reader does; with
// "raw" the bytes go to the library as they are, to see what it does with them.
#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hpdf.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kFontFile = "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf";
constexpr double kPageWidth = 595.276;  // A4 in points
constexpr double kPageHeight = 841.89;
constexpr double kMarginX = 99 * 72.0 / 600;  // a laser printer's unprintable edges at 600 dpi
constexpr double kMarginY = 119 * 72.0 / 600;
constexpr int kRowsPerPage = 86;
constexpr double kLeading = (kPageHeight - 2 * kMarginY) / kRowsPerPage;
constexpr double kFontSize = 8;
constexpr double kAscent = 0.833 * kFontSize;  // Liberation Mono's ascender, in ems
constexpr double kAdvance = 0.6 * kFontSize;   // every glyph of a monospaced font
constexpr const char* kIsoCreationDate = "2024-01-01T00:00:00Z";

// The source's lines without their line ends, up to the IDE options block.
struct Listing {
  std::string bytes;
  std::vector<std::string_view> lines;
};

bool ReadListing(const char* path, Listing& listing) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  listing.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  std::string_view rest = listing.bytes;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with("; IDE Options = ")) break;
    listing.lines.push_back(line);
  }
  return true;
}

// The length of the valid UTF-8 sequence at the start of `text`, or 0 when it is not one.
size_t ValidSequence(std::string_view text) {
  const auto b = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = b(0);
  if (lead < 0x80) return 1;
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((b(i) & 0xC0) != 0x80) return 0;
  if (lead == 0xE0 && b(1) < 0xA0) return 0;   // overlong
  if (lead == 0xED && b(1) >= 0xA0) return 0;  // surrogate
  if (lead == 0xF0 && b(1) < 0x90) return 0;   // overlong
  if (lead == 0xF4 && b(1) >= 0x90) return 0;  // beyond U+10FFFF
  return length;
}

// One printed row: the right-aligned number, two spaces, and as many characters of the line as fit
// (one column a code point: the font is monospaced).
void BuildRow(std::string& row, int number, int digits, std::string_view line, int columns, bool repair) {
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "%*d  ", digits, number);
  row.assign(prefix);
  for (int column = digits + 2; column < columns && !line.empty(); ++column) {
    size_t length = ValidSequence(line);
    if (length > 0) {
      row.append(line.substr(0, length));
    } else if (repair) {
      row.append("\xEF\xBF\xBD");
      length = 1;
    } else {
      for (length = 1; length < line.size() && (line[length] & 0xC0) == 0x80;) ++length;
      row.append(line.substr(0, length));
    }
    line.remove_prefix(length);
  }
}

int Digits(size_t n) { return n < 10 ? 1 : 1 + Digits(n / 10); }

int Columns() { return static_cast<int>((kPageWidth - 2 * kMarginX) / kAdvance); }

int WriteWithCairo(const Listing& listing, const char* output, bool repair) {
  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, kFontFile, 0, &face) != 0) {
    std::fprintf(stderr, "pdf_libraries: cannot load %s\n", kFontFile);
    return 1;
  }
  // cairo keeps the face for as long as its cache holds the font: it releases the FreeType face itself.
  cairo_font_face_t* font = cairo_ft_font_face_create_for_ft_face(face, 0);
  static const cairo_user_data_key_t kFaceKey{};
  cairo_font_face_set_user_data(font, &kFaceKey, face, [](void* f) { FT_Done_Face(static_cast<FT_Face>(f)); });
  cairo_surface_t* surface = cairo_pdf_surface_create(output, kPageWidth, kPageHeight);
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATE_DATE, kIsoCreationDate);
  cairo_t* cr = cairo_create(surface);
  cairo_set_font_face(cr, font);
  cairo_set_font_size(cr, kFontSize);
  const int digits = Digits(listing.lines.size());
  std::string row;
  int status = 0;
  for (size_t i = 0; i < listing.lines.size() && status == 0; ++i) {
    const int slot = static_cast<int>(i % kRowsPerPage);
    if (slot == 0 && i > 0) cairo_show_page(cr);
    BuildRow(row, static_cast<int>(i + 1), digits, listing.lines[i], Columns(), repair);
    cairo_move_to(cr, kMarginX, kMarginY + kAscent + slot * kLeading);
    cairo_show_text(cr, row.c_str());
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
      std::fprintf(stderr, "pdf_libraries: cairo stops at line %zu: %s\n", i + 1,
                   cairo_status_to_string(cairo_status(cr)));
      status = 1;
    }
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  if (status == 0 && cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "pdf_libraries: cairo: %s\n", cairo_status_to_string(cairo_surface_status(surface)));
    status = 1;
  }
  cairo_surface_destroy(surface);
  cairo_font_face_destroy(font);
  return status;  // the FreeType library lives as long as the process: cairo may still hold the face
}

void OnHaruError(HPDF_STATUS error, HPDF_STATUS detail, void* data) {
  auto* failed = static_cast<bool*>(data);
  if (!*failed)
    std::fprintf(stderr, "pdf_libraries: libharu error 0x%04X (detail %u)\n", static_cast<unsigned>(error),
                 static_cast<unsigned>(detail));
  *failed = true;
}

int WriteWithHaru(const Listing& listing, const char* output, bool repair) {
  bool failed = false;
  HPDF_Doc pdf = HPDF_New(OnHaruError, &failed);
  if (pdf == nullptr) return 1;
  HPDF_SetCompressionMode(pdf, HPDF_COMP_ALL);
  HPDF_UseUTFEncodings(pdf);
  const char* name = HPDF_LoadTTFontFromFile(pdf, kFontFile, HPDF_TRUE);
  HPDF_Font font = name != nullptr ? HPDF_GetFont(pdf, name, "UTF-8") : nullptr;
  if (font == nullptr) {
    HPDF_Free(pdf);
    return 1;
  }
  const HPDF_Date date = {2024, 1, 1, 0, 0, 0, 'Z', 0, 0};
  HPDF_SetInfoDateAttr(pdf, HPDF_INFO_CREATION_DATE, date);
  const int digits = Digits(listing.lines.size());
  std::string row;
  HPDF_Page page = nullptr;
  for (size_t i = 0; i < listing.lines.size() && !failed; ++i) {
    const bool first_row = i % kRowsPerPage == 0;
    if (first_row) {
      if (page != nullptr) HPDF_Page_EndText(page);
      page = HPDF_AddPage(pdf);
      HPDF_Page_SetWidth(page, kPageWidth);
      HPDF_Page_SetHeight(page, kPageHeight);
      HPDF_Page_BeginText(page);
      HPDF_Page_SetFontAndSize(page, font, kFontSize);
      HPDF_Page_SetTextLeading(page, kLeading);
      HPDF_Page_MoveTextPos(page, kMarginX, kPageHeight - kMarginY - kAscent);
    }
    BuildRow(row, static_cast<int>(i + 1), digits, listing.lines[i], Columns(), repair);
    if (first_row) {
      HPDF_Page_ShowText(page, row.c_str());
    } else {
      HPDF_Page_ShowTextNextLine(page, row.c_str());
    }
  }
  if (page != nullptr) HPDF_Page_EndText(page);
  if (!failed) HPDF_SaveToFile(pdf, output);
  HPDF_Free(pdf);
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool raw = argc == 5 && std::strcmp(argv[4], "raw") == 0;
  if ((argc != 4 && !raw) || (std::strcmp(argv[3], "cairo") != 0 && std::strcmp(argv[3], "haru") != 0)) {
    std::fprintf(stderr, "usage: pdf_libraries SOURCE OUTPUT.pdf cairo|haru [raw]\n");
    return 2;
  }
  Listing listing;
  if (!ReadListing(argv[1], listing)) {
    std::fprintf(stderr, "pdf_libraries: cannot read %s\n", argv[1]);
    return 1;
  }
  if (std::strcmp(argv[3], "cairo") == 0) return WriteWithCairo(listing, argv[2], !raw);
  return WriteWithHaru(listing, argv[2], !raw);
}
