// Writes src/plot/fontwidths.inc, the advance widths of DejaVu Sans and
// DejaVu Sans Bold that the plot layout measures its text with, from the
// fonts' own files (Debian: fonts-dejavu-core). Not part of the program:
// the table is kept in the sources, so that every build lays out a plot
// the same way whatever fonts its machine has.
//
//   kalmir_font_widths [FONT_DIR] > src/plot/fontwidths.inc

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Run {
  unsigned long first = 0;
  size_t nCount = 0;
  size_t nOffset = 0;
};

// Every character the font maps, with its advance in font units; false
// when the font cannot be read or is not laid out on 2048 units an em.
bool readWidths(FT_Library library, const std::string& path,
                std::vector<std::pair<unsigned long, unsigned>>* pWidths) {
  FT_Face face = nullptr;
  if (FT_New_Face(library, path.c_str(), 0, &face) != 0) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  if (face->units_per_EM != 2048 ||
      FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
    std::fprintf(stderr, "%s: not 2048 units an em, or no Unicode map\n",
                 path.c_str());
    FT_Done_Face(face);
    return false;
  }
  FT_UInt glyph = 0;
  for (FT_ULong c = FT_Get_First_Char(face, &glyph); glyph != 0;
       c = FT_Get_Next_Char(face, c, &glyph)) {
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE) != 0) continue;
    pWidths->emplace_back(c, static_cast<unsigned>(face->glyph->advance.x));
  }
  FT_Done_Face(face);
  return true;
}

void writeTable(const char* name,
                const std::vector<std::pair<unsigned long, unsigned>>& w) {
  std::vector<Run> runs;
  for (size_t i = 0; i < w.size(); ++i) {
    if (runs.empty() || w[i].first != runs.back().first + runs.back().nCount) {
      Run r;
      r.first = w[i].first;
      r.nOffset = i;
      runs.push_back(r);
    }
    ++runs.back().nCount;
  }
  std::printf("const WidthRun k%sRuns[] = {\n", name);
  for (size_t i = 0; i < runs.size(); ++i) {
    std::printf("%s{0x%lX, %zu, %zu},", i % 4 == 0 ? "    " : " ",
                runs[i].first, runs[i].nCount, runs[i].nOffset);
    if (i % 4 == 3 || i + 1 == runs.size()) std::printf("\n");
  }
  std::printf("};\nconst std::uint16_t k%sWidths[] = {\n", name);
  for (size_t i = 0; i < w.size(); ++i) {
    std::printf("%s%u,", i % 12 == 0 ? "    " : " ", w[i].second);
    if (i % 12 == 11 || i + 1 == w.size()) std::printf("\n");
  }
  std::printf("};\n");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir =
      argc > 1 ? argv[1] : "/usr/share/fonts/truetype/dejavu";
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return 1;
  std::vector<std::pair<unsigned long, unsigned>> regular, bold;
  if (!readWidths(library, dir + "/DejaVuSans.ttf", &regular) ||
      !readWidths(library, dir + "/DejaVuSans-Bold.ttf", &bold)) {
    return 1;
  }
  std::printf(
      "// Advance widths of DejaVu Sans and DejaVu Sans Bold in 1/2048 em,\n"
      "// for every character each maps, as runs of consecutive characters.\n"
      "// Written by make_font_widths.cpp from the fonts' files; do not "
      "edit.\n\n");
  writeTable("Regular", regular);
  writeTable("Bold", bold);
  FT_Done_FreeType(library);
  return 0;
}
