// The drawing module: draws the marks of a laid-out plot (a picture, as
// drawing.h hands it over) with Cairo into a PNG or PDF file. Loaded by
// plot.cpp only when such a plot is asked for; see drawing.h for why its
// entry point speaks C.

#include "drawing.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <png.h>
#include <unistd.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "fontmetrics.h"

namespace {

// PNG pixels per point: 144 dpi.
const double kPngScale = 2;

// The plots' font, DejaVu Sans regular and bold, and for a character it
// lacks the font fontconfig finds for it, loaded once for the process.
// DejaVu comes straight from its files (Debian: fonts-dejavu-core) where
// they are: that skips fontconfig's start-up, which took longer than
// drawing a whole plot, unless a text needs another font.
class Fonts {
 public:
  static Fonts& get() {
    static Fonts fonts;
    return fonts;
  }

  // The face to draw c with.
  cairo_font_face_t* faceFor(char32_t c, bool bBold) {
    cairo_font_face_t* main = bBold ? bold_ : regular_;
    if (c < 0x80 || fontHasCharacter(c, bBold)) return main;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto key = std::make_pair(c, bBold);
    const auto it = fallbacks_.find(key);
    if (it != fallbacks_.end()) return it->second;
    cairo_font_face_t* face = findFallback(c, bBold);
    if (face == nullptr) face = main;  // none has it: the font's own box
    fallbacks_[key] = face;
    return face;
  }

 private:
  // The faces are never freed: plots may be drawn until the process ends.
  Fonts()
      : regular_(loadDejaVu("DejaVuSans.ttf", CAIRO_FONT_WEIGHT_NORMAL)),
        bold_(loadDejaVu("DejaVuSans-Bold.ttf", CAIRO_FONT_WEIGHT_BOLD)) {}

  cairo_font_face_t* loadDejaVu(const char* file, cairo_font_weight_t weight) {
    cairo_font_face_t* face =
        loadFile(std::string("/usr/share/fonts/truetype/dejavu/") + file, 0);
    if (face != nullptr) return face;
    return cairo_toy_font_face_create("DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                                      weight);
  }

  // A face from a font file, or null.
  cairo_font_face_t* loadFile(const std::string& path, int nIndex) {
    const std::string key = path + "#" + std::to_string(nIndex);
    const auto it = files_.find(key);
    if (it != files_.end()) return it->second;
    FT_Face face = nullptr;
    cairo_font_face_t* cairoFace = nullptr;
    if ((library_ != nullptr || FT_Init_FreeType(&library_) == 0) &&
        FT_New_Face(library_, path.c_str(), nIndex, &face) == 0) {
      cairoFace = cairo_ft_font_face_create_for_ft_face(face, 0);
    }
    files_[key] = cairoFace;
    return cairoFace;
  }

  // The first font fontconfig ranks for a sans-serif text of this weight
  // that has c.
  cairo_font_face_t* findFallback(char32_t c, bool bBold) {
    if (!bFontconfig_) {
      bFontconfig_ = true;
      bFontconfigUsable_ = FcInit() == FcTrue;
    }
    if (!bFontconfigUsable_) return nullptr;
    FcPattern* pattern = FcPatternCreate();
    FcCharSet* wanted = FcCharSetCreate();
    FcCharSetAddChar(wanted, static_cast<FcChar32>(c));
    FcPatternAddString(pattern, FC_FAMILY,
                       reinterpret_cast<const FcChar8*>("DejaVu Sans"));
    FcPatternAddInteger(pattern, FC_WEIGHT,
                        bBold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcFontSet* fonts = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
    cairo_font_face_t* face = nullptr;
    for (int i = 0; fonts != nullptr && i < fonts->nfont && face == nullptr;
         ++i) {
      FcCharSet* has = nullptr;
      FcChar8* file = nullptr;
      int nIndex = 0;
      if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &has) !=
              FcResultMatch ||
          !FcCharSetHasChar(has, static_cast<FcChar32>(c)) ||
          FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file) !=
              FcResultMatch) {
        continue;
      }
      FcPatternGetInteger(fonts->fonts[i], FC_INDEX, 0, &nIndex);
      face = loadFile(reinterpret_cast<const char*>(file), nIndex);
    }
    if (fonts != nullptr) FcFontSetDestroy(fonts);
    FcCharSetDestroy(wanted);
    FcPatternDestroy(pattern);
    return face;
  }

  std::mutex mutex_;
  FT_Library library_ = nullptr;
  std::map<std::string, cairo_font_face_t*> files_;
  std::map<std::pair<char32_t, bool>, cairo_font_face_t*> fallbacks_;
  bool bFontconfig_ = false, bFontconfigUsable_ = false;
  cairo_font_face_t* regular_;
  cairo_font_face_t* bold_;
};

void setColour(cairo_t* cr, const unsigned char rgb[3], double alpha) {
  cairo_set_source_rgba(cr, rgb[0] / 255.0, rgb[1] / 255.0, rgb[2] / 255.0,
                        alpha);
}

void addPath(cairo_t* cr, const double* pXY, int nPoints, bool bClosed) {
  for (int i = 0; i < nPoints; ++i) {
    if (i == 0) {
      cairo_move_to(cr, pXY[0], pXY[1]);
    } else {
      cairo_line_to(cr, pXY[2 * i], pXY[2 * i + 1]);
    }
  }
  if (bClosed && nPoints > 0) cairo_close_path(cr);
}

void drawShape(cairo_t* cr, const KalmirDrawingPicture& p,
               const KalmirDrawingShape& s) {
  cairo_save(cr);
  if (s.nClip >= 0 && static_cast<size_t>(s.nClip) < p.nClips) {
    const KalmirDrawingClip& clip = p.pClips[s.nClip];
    addPath(cr, clip.pXY, clip.nPoints, true);
    cairo_clip(cr);
  }
  const double* pXY = s.pXY;
  for (int k = 0; k < s.nPaths; ++k) {
    const int n = s.pnPathPoints[k];
    if (s.bCircles) {
      if (n > 0) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, pXY[0], pXY[1], s.fRadius, 0, 4 * std::acos(0.0));
      }
    } else {
      addPath(cr, pXY, n, s.bClosed != 0);
    }
    pXY += 2 * n;
  }
  if (s.bFill) {
    setColour(cr, s.fill, s.fFillAlpha);
    cairo_fill_preserve(cr);
  }
  if (s.bStroke) {
    setColour(cr, s.stroke, s.fStrokeAlpha);
    cairo_set_line_width(cr, s.fLineWidth);
    cairo_set_dash(cr, s.pDashes, s.nDashes, 0);
    cairo_set_line_cap(
        cr, s.bRoundCap ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
    cairo_stroke_preserve(cr);
  }
  cairo_new_path(cr);
  cairo_restore(cr);
}

// The text in runs of characters that one face draws, each drawn on from
// where the last one ended, fixed at the anchor as the layout placed it.
void drawText(cairo_t* cr, Fonts& fonts, const KalmirDrawingText& t) {
  struct Run {
    cairo_font_face_t* face;
    std::string text;
  };
  std::vector<Run> runs;
  for (char32_t c : characters(std::string(t.pText, t.nBytes))) {
    cairo_font_face_t* face = fonts.faceFor(c, t.bBold != 0);
    if (runs.empty() || runs.back().face != face) runs.push_back({face, ""});
    appendUtf8(c, &runs.back().text);
  }
  double width = 0;
  for (const Run& run : runs) {
    cairo_set_font_face(cr, run.face);
    cairo_set_font_size(cr, t.fSize);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, run.text.c_str(), &extents);
    width += extents.x_advance;
  }
  setColour(cr, t.colour, 1);
  cairo_save(cr);
  cairo_translate(cr, t.fX, t.fY);
  if (t.bVertical) cairo_rotate(cr, -std::acos(0.0));  // a quarter turn
  cairo_move_to(cr, t.nAlign == 0 ? 0 : t.nAlign == 1 ? -width / 2 : -width, 0);
  for (const Run& run : runs) {
    cairo_set_font_face(cr, run.face);
    cairo_set_font_size(cr, t.fSize);
    cairo_show_text(cr, run.text.c_str());
  }
  cairo_restore(cr);
}

void drawPicture(cairo_t* cr, const KalmirDrawingPicture& p) {
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  for (size_t i = 0; i < p.nShapes; ++i) drawShape(cr, p, p.pShapes[i]);
  Fonts& fonts = Fonts::get();
  for (size_t i = 0; i < p.nTexts; ++i) drawText(cr, fonts, p.pTexts[i]);
}

// The file a surface streams into; remembers the first failed write.
struct Sink {
  int nFd = -1;
  int nErrno = 0;
};

bool writeAll(Sink* sink, const unsigned char* data, size_t length) {
  while (length > 0 && sink->nErrno == 0) {
    const ssize_t n = ::write(sink->nFd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      sink->nErrno = n < 0 ? errno : EIO;
      break;
    }
    data += n;
    length -= static_cast<size_t>(n);
  }
  return sink->nErrno == 0;
}

cairo_status_t writeToSink(void* closure, const unsigned char* data,
                           unsigned int length) {
  return writeAll(static_cast<Sink*>(closure), data, length)
             ? CAIRO_STATUS_SUCCESS
             : CAIRO_STATUS_WRITE_ERROR;
}

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
  if (!writeAll(static_cast<Sink*>(png_get_io_ptr(png)), data, length)) {
    png_error(png, "write failed");
  }
}
void pngFlush(png_structp) {}

// Cairo's own PNG writer compresses hard and tries every row filter, which
// took longer than the analysis itself; the fastest level with one filter
// gives a file a few times larger in a fifth of the time. False on a
// failed write.
bool writePng(cairo_surface_t* image, Sink* sink) {
  cairo_surface_flush(image);
  const int nWidth = cairo_image_surface_get_width(image);
  const int nHeight = cairo_image_surface_get_height(image);
  const int nStride = cairo_image_surface_get_stride(image);
  unsigned char* pData = cairo_image_surface_get_data(image);
  std::vector<png_bytep> rows(static_cast<size_t>(nHeight));
  for (int y = 0; y < nHeight; ++y) {
    rows[static_cast<size_t>(y)] = pData + static_cast<ptrdiff_t>(y) * nStride;
  }
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  // libpng reports errors by longjmp; only plain values live past here.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, sink, pngWrite, pngFlush);
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  png_set_IHDR(png, info, static_cast<png_uint_32>(nWidth),
               static_cast<png_uint_32>(nHeight), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  // Cairo keeps a pixel as a native 32-bit 0x00RRGGBB.
  const std::uint32_t probe = 1;
  if (*reinterpret_cast<const unsigned char*>(&probe) == 1) {
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
  } else {
    png_set_filler(png, 0, PNG_FILLER_BEFORE);
  }
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

// Draws the picture into the file; "" when written, else why not.
std::string drawFile(int nFd, int nFormat, const KalmirDrawingPicture& p) {
  Sink sink;
  sink.nFd = nFd;
  const bool bPng = nFormat == 1;
  cairo_surface_t* surface = nullptr;
  if (bPng) {
    surface = cairo_image_surface_create(
        CAIRO_FORMAT_RGB24, static_cast<int>(std::ceil(p.fWidth * kPngScale)),
        static_cast<int>(std::ceil(p.fHeight * kPngScale)));
  } else if (nFormat == 2) {
    surface = cairo_pdf_surface_create_for_stream(writeToSink, &sink, p.fWidth,
                                                  p.fHeight);
    const std::string title(p.pTitle, p.nTitleBytes);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE,
                                   title.c_str());
  } else {
    return "the drawing module draws PNG and PDF only";
  }
  cairo_t* cr = cairo_create(surface);
  if (bPng) cairo_scale(cr, kPngScale, kPngScale);
  // Unhinted advances: the widths the layout measured the text with.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  drawPicture(cr, p);
  cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  if (status == CAIRO_STATUS_SUCCESS && bPng && !writePng(surface, &sink)) {
    status = CAIRO_STATUS_WRITE_ERROR;
  }
  cairo_surface_finish(surface);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (sink.nErrno != 0) return std::strerror(sink.nErrno);
  if (status != CAIRO_STATUS_SUCCESS) return cairo_status_to_string(status);
  return "";
}

void copyError(const std::string& error, char* pError, size_t nErrorBytes) {
  if (nErrorBytes == 0) return;
  const size_t n = std::min(error.size(), nErrorBytes - 1);
  std::memcpy(pError, error.data(), n);
  pError[n] = '\0';
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int kalmir_draw_picture_v3(
    int nFd, int nFormat, const KalmirDrawingPicture* pPicture, char* pError,
    size_t nErrorBytes) {
  // No exception may leave the module, and none may arise while one is
  // reported.
  try {
    const std::string error = drawFile(nFd, nFormat, *pPicture);
    if (error.empty()) return 1;
    copyError(error, pError, nErrorBytes);
  } catch (const std::bad_alloc&) {
    copyError("out of memory", pError, nErrorBytes);
  } catch (const std::exception& e) {
    copyError(e.what(), pError, nErrorBytes);
  }
  return 0;
}

// The entry point has the type the program calls it by.
[[maybe_unused]] static constexpr KalmirDrawPicture kEntry =
    kalmir_draw_picture_v3;
