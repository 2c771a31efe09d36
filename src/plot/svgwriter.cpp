#include "svgwriter.h"

#include <cmath>
#include <cstdio>

#include "fontmetrics.h"

namespace {

// A coordinate to 1/100 point, without trailing zeros: fine enough for any
// printer, and short.
std::string number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", std::round(v * 100) / 100 + 0.0);
  std::string s = buf;
  s.erase(s.find_last_not_of('0') + 1);
  if (s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

std::string colour(const Colour& c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
  return buf;
}

std::string pathData(const std::vector<std::vector<Point>>& paths,
                     bool bClosed) {
  std::string d;
  for (const std::vector<Point>& path : paths) {
    for (size_t i = 0; i < path.size(); ++i) {
      if (!d.empty()) d += ' ';
      d += (i == 0 ? "M" : "L") + number(path[i].x) + " " + number(path[i].y);
    }
    if (bClosed && !path.empty()) d += "Z";
  }
  return d;
}

std::string paint(const Shape& s) {
  std::string a;
  if (s.bFill) {
    a += " fill=\"" + colour(s.fill) + "\"";
    if (s.fillAlpha < 1) a += " fill-opacity=\"" + number(s.fillAlpha) + "\"";
  } else {
    a += " fill=\"none\"";
  }
  if (s.bStroke) {
    a += " stroke=\"" + colour(s.stroke) + "\" stroke-width=\"" +
         number(s.lineWidth) + "\"";
    if (s.strokeAlpha < 1) {
      a += " stroke-opacity=\"" + number(s.strokeAlpha) + "\"";
    }
    if (!s.dashes.empty()) {
      a += " stroke-dasharray=\"";
      for (size_t i = 0; i < s.dashes.size(); ++i) {
        a += (i == 0 ? "" : " ") + number(s.dashes[i]);
      }
      a += "\"";
    }
    if (s.bRoundCap) a += " stroke-linecap=\"round\"";
  }
  if (s.nClip >= 0) {
    a += " clip-path=\"url(#clip" + std::to_string(s.nClip + 1) + ")\"";
  }
  return a;
}

std::string textElement(const Text& t) {
  const TextBox& b = t.box;
  const char* anchor = b.align == Align::kStart    ? nullptr
                       : b.align == Align::kMiddle ? "middle"
                                                   : "end";
  std::string e = "<text";
  if (b.bVertical) {
    e += " transform=\"translate(" + number(b.anchorX()) + " " +
         number(b.anchorY()) + ") rotate(-90)\"";
  } else {
    e += " x=\"" + number(b.anchorX()) + "\" y=\"" + number(b.anchorY()) + "\"";
  }
  if (b.size != 11) e += " font-size=\"" + number(b.size) + "\"";
  if (b.bBold) e += " font-weight=\"bold\"";
  if (anchor != nullptr) e += std::string(" text-anchor=\"") + anchor + "\"";
  if (t.colour.r != 26 || t.colour.g != 26 || t.colour.b != 26) {
    e += " fill=\"" + colour(t.colour) + "\"";
  }
  return e + ">" + markupText(b.text) + "</text>\n";
}

}  // namespace

std::string svgDocument(const Picture& p) {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
      number(p.width) + "pt\" height=\"" + number(p.height) +
      "pt\" viewBox=\"0 0 " + number(p.width) + " " + number(p.height) +
      "\" role=\"img\" aria-labelledby=\"title desc\">\n"
      "<title id=\"title\">" +
      markupText(p.title) + "</title>\n<desc id=\"desc\">" +
      markupText(p.description) + "</desc>\n";
  if (!p.clips.empty()) {
    s += "<defs>\n";
    for (size_t i = 0; i < p.clips.size(); ++i) {
      s += "<clipPath id=\"clip" + std::to_string(i + 1) + "\"><path d=\"" +
           pathData({p.clips[i]}, true) + "\"/></clipPath>\n";
    }
    s += "</defs>\n";
  }
  s += "<g stroke-linejoin=\"round\">\n";
  for (const Shape& shape : p.shapes) {
    if (shape.bCircles) {
      s += "<g" + paint(shape) + ">";
      for (const std::vector<Point>& c : shape.paths) {
        if (c.empty()) continue;
        s += "<circle cx=\"" + number(c[0].x) + "\" cy=\"" + number(c[0].y) +
             "\" r=\"" + number(shape.radius) + "\"/>";
      }
      s += "</g>\n";
      continue;
    }
    s += "<path d=\"" + pathData(shape.paths, shape.bClosed) + "\"" +
         paint(shape) + "/>\n";
  }
  s += "</g>\n";
  // Kerning off: the layout measured the text without it, as the other
  // formats draw it.
  s += "<g font-family=\"DejaVu Sans, Verdana, sans-serif\" font-size=\"11\" "
       "fill=\"#1a1a1a\" style=\"font-kerning:none\" xml:space=\"preserve\">\n";
  for (const Text& t : p.texts) s += textElement(t);
  s += "</g>\n</svg>\n";
  return s;
}
