// The drawing module: lays out a plot of one analysed case (plotlayout)
// and draws it with Cairo into an SVG, PNG or PDF file. Loaded by plot.cpp
// only when a plot is asked for; see drawing.h for why its entry point
// speaks C.

#include "drawing.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <ft2build.h>
#include <png.h>
#include <sys/stat.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "plotlayout.h"

namespace {


struct Colour {
  double r, g, b;
};
// A colour-blind-safe pair that also parts in grey: blue prints dark,
// orange light.
const Colour kBlue = {0.0, 114 / 255.0, 178 / 255.0};
const Colour kOrange = {230 / 255.0, 159 / 255.0, 0.0};
const Colour kInk = {0.1, 0.1, 0.1};
const Colour kFrame = {0.35, 0.35, 0.35};
const Colour kGrid = {0.9, 0.9, 0.9};

// PNG pixels per point: 144 dpi.
const double kPngScale = 2;

void setColour(cairo_t* cr, const Colour& c, double alpha = 1) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

// A page coordinate rounded to 1/8 point, which an SVG writes with at most
// three decimals instead of six: points and bars take fewer bytes.
double snap(double v) { return std::round(v * 8) / 8; }

void line(cairo_t* cr, double x0, double y0, double x1, double y1) {
  cairo_move_to(cr, snap(x0), snap(y0));
  cairo_line_to(cr, snap(x1), snap(y1));
}

void dashed(cairo_t* cr, double on, double off) {
  const double dashes[] = {on, off};
  cairo_set_dash(cr, dashes, 2, 0);
}

// The two fonts of every plot, regular and bold, loaded once for the
// process. Straight from DejaVu Sans's files (Debian: fonts-dejavu-core)
// where they are: that skips fontconfig's start-up, which took longer than
// drawing a whole plot. Elsewhere whatever fontconfig finds for the name.
class Fonts {
 public:
  static const Fonts& get() {
    static const Fonts fonts;
    return fonts;
  }
  void use(cairo_t* cr, double size, bool bBold) const {
    cairo_set_font_face(cr, bBold ? bold_ : regular_);
    cairo_set_font_size(cr, size);
  }

 private:
  // The faces are never freed: plots may be drawn until the process ends.
  Fonts()
      : regular_(load("DejaVuSans.ttf", CAIRO_FONT_WEIGHT_NORMAL)),
        bold_(load("DejaVuSans-Bold.ttf", CAIRO_FONT_WEIGHT_BOLD)) {}

  cairo_font_face_t* load(const char* file, cairo_font_weight_t weight) {
    const std::string path =
        std::string("/usr/share/fonts/truetype/dejavu/") + file;
    FT_Face face = nullptr;
    if ((library_ != nullptr || FT_Init_FreeType(&library_) == 0) &&
        FT_New_Face(library_, path.c_str(), 0, &face) == 0) {
      return cairo_ft_font_face_create_for_ft_face(face, 0);
    }
    return cairo_toy_font_face_create("DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                                      weight);
  }

  FT_Library library_ = nullptr;
  cairo_font_face_t* regular_;
  cairo_font_face_t* bold_;
};

void drawText(cairo_t* cr, const Fonts& fonts, const TextBox& t) {
  fonts.use(cr, t.size, t.bBold);
  setColour(cr, kInk);
  cairo_save(cr);
  cairo_translate(cr, t.x, t.y);
  if (t.bVertical) cairo_rotate(cr, -std::acos(0.0));  // a quarter turn
  cairo_move_to(cr, 0, 0);
  cairo_show_text(cr, t.text.c_str());
  cairo_restore(cr);
}

// A's points are dots: a zero-length stroke with round caps draws a disc,
// and costs an SVG a fraction of what a drawn circle does.
void addDot(cairo_t* cr, double x, double y) {
  cairo_move_to(cr, snap(x), snap(y));
  cairo_line_to(cr, snap(x), snap(y));
}
void drawDots(cairo_t* cr, double radius) {
  setColour(cr, kBlue);
  cairo_set_line_width(cr, 2 * radius);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_stroke(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

// B's points are triangles, a little larger than the dots so that both
// look the same size.
void addTriangle(cairo_t* cr, double x, double y, double radius) {
  const double r = 1.3 * radius;
  cairo_move_to(cr, snap(x), snap(y - r));
  cairo_line_to(cr, snap(x + 0.866 * r), snap(y + 0.5 * r));
  cairo_line_to(cr, snap(x - 0.866 * r), snap(y + 0.5 * r));
  cairo_close_path(cr);
}
// A dark outline keeps light orange visible on white and in grey; an SVG
// writes fill and outline as one path, so it costs nothing there.
void drawTriangles(cairo_t* cr, double radius) {
  setColour(cr, kOrange);
  cairo_fill_preserve(cr);
  setColour(cr, kInk);
  cairo_set_line_width(cr, radius >= 2 ? 0.6 : 0.3);
  cairo_stroke(cr);
}

void drawSegment(cairo_t* cr, const Scale& x, const Scale& y,
                 const Segment& s) {
  line(cr, x.toPage(s.t0), y.toPage(s.y0), x.toPage(s.t1), y.toPage(s.y1));
}

// Fill, hatching (rising for the null model, falling for the experimental
// one) and outline of the path in cr, which is used up.
void drawBars(cairo_t* cr, const Colour& c, bool bRising, const Rect& area) {
  cairo_path_t* path = cairo_copy_path(cr);
  setColour(cr, c, 0.25);
  cairo_fill_preserve(cr);
  cairo_save(cr);
  cairo_clip(cr);
  setColour(cr, c, 0.9);
  cairo_set_line_width(cr, 0.7);
  const double spacing = 6;
  for (double d = -area.h; d < area.w; d += spacing) {
    if (bRising) {
      line(cr, area.x + d, area.bottom(), area.x + d + area.h, area.y);
    } else {
      line(cr, area.x + d, area.y, area.x + d + area.h, area.bottom());
    }
  }
  cairo_stroke(cr);
  cairo_restore(cr);
  cairo_append_path(cr, path);
  cairo_path_destroy(path);
  setColour(cr, c);
  cairo_set_line_width(cr, 1.2);
  cairo_stroke(cr);
}

// One histogram as the outline of its bars.
void addHistogramPath(cairo_t* cr, const PlotLayout& L, const Histogram& h,
                      const std::vector<int>& nCounts) {
  const double base = snap(L.counts.toPage(0));
  cairo_move_to(cr, snap(L.means.toPage(h.lo)), base);
  for (size_t i = 0; i < nCounts.size(); ++i) {
    const double top = snap(L.counts.toPage(nCounts[i]));
    cairo_line_to(
        cr, snap(L.means.toPage(h.lo + h.width * static_cast<double>(i))), top);
    cairo_line_to(
        cr, snap(L.means.toPage(h.lo + h.width * static_cast<double>(i + 1))),
        top);
  }
  cairo_line_to(cr, snap(L.means.toPage(h.hi())), base);
  cairo_close_path(cr);
}

void drawAxes(cairo_t* cr, const Rect& frame, const Scale& x, const Scale& y,
              double tick) {
  setColour(cr, kGrid);
  cairo_set_line_width(cr, 0.6);
  for (double v : y.ticks) {
    line(cr, frame.x, y.toPage(v), frame.right(), y.toPage(v));
  }
  cairo_stroke(cr);
  setColour(cr, kFrame);
  cairo_set_line_width(cr, 0.8);
  cairo_rectangle(cr, frame.x, frame.y, frame.w, frame.h);
  for (double v : x.ticks) {
    line(cr, x.toPage(v), frame.bottom(), x.toPage(v), frame.bottom() + tick);
  }
  for (double v : y.ticks) {
    line(cr, frame.x - tick, y.toPage(v), frame.x, y.toPage(v));
  }
  cairo_stroke(cr);
}

void drawSwatch(cairo_t* cr, const LegendSwatch& s) {
  const Rect& b = s.box;
  const double midX = b.x + b.w / 2, midY = b.y + b.h / 2;
  cairo_save(cr);
  switch (s.key) {
    case LegendKey::kAPoints:
      addDot(cr, midX, midY);
      drawDots(cr, 3.5);
      break;
    case LegendKey::kBPoints:
      addTriangle(cr, midX, midY + 0.5, 3.5);
      drawTriangles(cr, 3.5);
      break;
    case LegendKey::kALine:
    case LegendKey::kNullLine:
    case LegendKey::kBLine:
      setColour(cr, s.key == LegendKey::kBLine ? kOrange : kBlue);
      cairo_set_line_width(cr, 2);
      if (s.key == LegendKey::kNullLine) dashed(cr, 5, 3);
      line(cr, b.x, midY, b.right(), midY);
      cairo_stroke(cr);
      break;
    case LegendKey::kNullBars:
    case LegendKey::kExpBars:
      cairo_rectangle(cr, b.x, b.y, b.w, b.h);
      drawBars(cr, s.key == LegendKey::kNullBars ? kBlue : kOrange,
               s.key == LegendKey::kNullBars, b);
      break;
    case LegendKey::kObservedMean:
      setColour(cr, kInk);
      cairo_set_line_width(cr, 1.8);
      line(cr, midX, b.y - 2, midX, b.bottom() + 2);
      cairo_stroke(cr);
      break;
  }
  cairo_restore(cr);
}

void drawPlot(cairo_t* cr, const Fonts& fonts, const PlotContent& c,
              const PlotLayout& L) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);

  // The series.
  const Rect& sf = L.seriesFrame;
  drawAxes(cr, sf, L.occasions, L.values, L.tickLength);
  setColour(cr, kFrame);
  cairo_set_line_width(cr, 1);
  dashed(cr, 4, 3);
  line(cr, L.phaseLineX, sf.y - 2, L.phaseLineX, sf.bottom());
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  cairo_save(cr);
  cairo_rectangle(cr, sf.x, sf.y, sf.w, sf.h);
  cairo_clip(cr);
  cairo_set_line_width(cr, 2);
  setColour(cr, kBlue);
  dashed(cr, 6, 4);
  drawSegment(cr, L.occasions, L.values, c.nullLine);
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  drawSegment(cr, L.occasions, L.values, c.aLine);
  cairo_stroke(cr);
  setColour(cr, kOrange);
  drawSegment(cr, L.occasions, L.values, c.bLine);
  cairo_stroke(cr);
  for (int i = 0; i < c.nNA; ++i) {
    addDot(cr, L.occasions.toPage(i + 1), L.values.toPage(c.fY[i]));
  }
  drawDots(cr, L.markerRadius);
  for (int i = c.nNA; i < c.nNA + c.nNB; ++i) {
    addTriangle(cr, L.occasions.toPage(i + 1), L.values.toPage(c.fY[i]),
                L.markerRadius);
  }
  drawTriangles(cr, L.markerRadius);
  cairo_restore(cr);

  // The simulated means.
  const Rect& mf = L.meansFrame;
  drawAxes(cr, mf, L.means, L.counts, L.tickLength);
  cairo_save(cr);
  cairo_rectangle(cr, mf.x, mf.y, mf.w, mf.h);
  cairo_clip(cr);
  addHistogramPath(cr, L, c.hist, c.hist.nNull);
  drawBars(cr, kBlue, true, mf);
  addHistogramPath(cr, L, c.hist, c.hist.nExp);
  drawBars(cr, kOrange, false, mf);
  cairo_restore(cr);
  setColour(cr, kInk);
  cairo_set_line_width(cr, 1.8);
  line(cr, L.observedX, mf.bottom(), L.observedX, mf.y - 8);
  cairo_stroke(cr);

  for (const LegendSwatch& s : L.legend) drawSwatch(cr, s);
  for (const TextBox& t : L.text) drawText(cr, fonts, t);
}

// The file a surface streams into; remembers the first failed write.
struct Sink {
  FILE* file = nullptr;
  int nErrno = 0;
};

cairo_status_t writeToSink(void* closure, const unsigned char* data,
                           unsigned int length) {
  Sink* sink = static_cast<Sink*>(closure);
  if (sink->nErrno != 0) return CAIRO_STATUS_WRITE_ERROR;
  if (std::fwrite(data, 1, length, sink->file) != length) {
    sink->nErrno = errno != 0 ? errno : EIO;
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
  Sink* sink = static_cast<Sink*>(png_get_io_ptr(png));
  if (sink->nErrno != 0 || std::fwrite(data, 1, length, sink->file) != length) {
    if (sink->nErrno == 0) sink->nErrno = errno != 0 ? errno : EIO;
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

// Writes the plot of the case content into path. False when it could not
// be written; *pError then says why, and a regular file begun at path is
// removed again.
bool drawPlotFile(const char* path, int nFormat, const PlotContent& content,
                  std::string* pError) {
  Sink sink;
  sink.file = std::fopen(path, "wb");
  if (sink.file == nullptr) {
    *pError = std::string("cannot write ") + path + ": " + std::strerror(errno);
    return false;
  }
  // Only a half-written plot goes on failure, never a device or a pipe.
  struct stat st;
  const bool bRegular =
      fstat(fileno(sink.file), &st) == 0 && S_ISREG(st.st_mode);
  const double width = kPlotWidth, height = kPlotHeight;
  const bool bPng = nFormat == 1;
  cairo_surface_t* surface = nullptr;
  if (bPng) {
    surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24,
                                         static_cast<int>(width * kPngScale),
                                         static_cast<int>(height * kPngScale));
  } else if (nFormat == 2) {
    surface = cairo_pdf_surface_create_for_stream(writeToSink, &sink, width,
                                                  height);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE,
                                   content.title.c_str());
  } else {
    surface =
        cairo_svg_surface_create_for_stream(writeToSink, &sink, width, height);
  }
  cairo_t* cr = cairo_create(surface);
  if (bPng) cairo_scale(cr, kPngScale, kPngScale);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  const Fonts& fonts = Fonts::get();
  const TextWidth textWidth = [&](const std::string& text, double size,
                                  bool bBold) {
    fonts.use(cr, size, bBold);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return extents.x_advance;
  };
  drawPlot(cr, fonts, content, layOutPlot(content, textWidth));
  cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  if (status == CAIRO_STATUS_SUCCESS && bPng && !writePng(surface, &sink)) {
    status = CAIRO_STATUS_WRITE_ERROR;
  }
  cairo_surface_finish(surface);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (std::fclose(sink.file) != 0 && sink.nErrno == 0) {
    sink.nErrno = errno != 0 ? errno : EIO;
  }
  if (status == CAIRO_STATUS_SUCCESS && sink.nErrno == 0) return true;
  *pError = std::string("cannot write ") + path + ": " +
            (sink.nErrno != 0 ? std::strerror(sink.nErrno)
                              : cairo_status_to_string(status));
  if (bRegular) std::remove(path);
  return false;
}

// The result the layout reads, rebuilt from the plain values that crossed.
kalmir::Result resultOf(const KalmirDrawingCase& c) {
  kalmir::Result r;
  r.name.assign(c.pName, c.nNameBytes);
  r.n_a = c.nNA;
  r.n_b = c.nNB;
  r.values.assign(c.pfY, c.pfY + c.nNA + c.nNB);
  r.null_model.intercept = c.fNullInt;
  r.null_model.slope = c.fNullSlope;
  r.exp_model.intercept = c.fExpInt;
  r.exp_model.slope = c.fExpSlope;
  r.d_unstd = c.fDUnstd;
  r.d = c.fD;
  r.d_se = c.fDSE;
  r.r = c.fR;
  r.p = c.fP;
  r.null_means.assign(c.pfNullMeans, c.pfNullMeans + c.nMeans);
  r.exp_means.assign(c.pfExpMeans, c.pfExpMeans + c.nMeans);
  return r;
}

void copyError(const std::string& error, char* pError, size_t nErrorBytes) {
  if (nErrorBytes == 0) return;
  const size_t n = std::min(error.size(), nErrorBytes - 1);
  std::memcpy(pError, error.data(), n);
  pError[n] = '\0';
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int kalmir_draw_plot_v2(
    const char* pPath, int nFormat, const KalmirDrawingCase* pCase,
    char* pError, size_t nErrorBytes) {
  // No exception may leave the module, and none may arise while one is
  // reported.
  try {
    const KalmirDrawingCase& c = *pCase;
    const PlotContent content = plotContent(resultOf(c));
    std::string error;
    if (drawPlotFile(pPath, nFormat, content, &error)) return 1;
    copyError(error, pError, nErrorBytes);
  } catch (const std::bad_alloc&) {
    std::snprintf(pError, nErrorBytes, "cannot write %s: out of memory", pPath);
  } catch (const std::exception& e) {
    std::snprintf(pError, nErrorBytes, "cannot write %s: %s", pPath, e.what());
  }
  return 0;
}

// The entry point has the type the program calls it by.
[[maybe_unused]] static constexpr KalmirDrawPlot kEntry = kalmir_draw_plot_v2;
