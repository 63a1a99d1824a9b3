#include "rixs/plane_picture.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>


namespace talvern {

namespace {

constexpr int kFontScale = 2;                   // 5 x 7 glyphs drawn at twice their size
constexpr int kGlyphH = 7 * kFontScale;
constexpr int kAdvance = 6 * kFontScale;
constexpr int kBarWidth = 24;                   // the colour bar, in pixels
constexpr plot::Rgb kInk{0, 0, 0};

// 5 x 7 glyphs of the characters the labels use, one row a byte (bit 4 left).
struct Glyph {
  char c;
  std::uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0, 0, 0, 0, 0, 0x0C, 0x0C}},               {'-', {0, 0, 0, 0x0E, 0, 0, 0}},
    {'+', {0, 0x04, 0x04, 0x1F, 0x04, 0x04, 0}},       {'e', {0, 0, 0x0E, 0x11, 0x1F, 0x10, 0x0E}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}}, {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'x', {0, 0, 0x11, 0x0A, 0x04, 0x0A, 0x11}},       {'c', {0, 0, 0x0E, 0x10, 0x10, 0x11, 0x0E}},
    {'i', {0x04, 0, 0x0C, 0x04, 0x04, 0x04, 0x0E}},    {'t', {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06}},
    {'a', {0, 0, 0x0E, 0x01, 0x0F, 0x11, 0x0F}},       {'o', {0, 0, 0x0E, 0x11, 0x11, 0x11, 0x0E}},
    {'n', {0, 0, 0x16, 0x19, 0x11, 0x11, 0x11}},       {'r', {0, 0, 0x16, 0x19, 0x10, 0x10, 0x10}},
    {'g', {0, 0, 0x0F, 0x11, 0x0F, 0x01, 0x0E}},       {'y', {0, 0, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
    {'m', {0, 0, 0x1A, 0x15, 0x15, 0x11, 0x11}},       {'s', {0, 0, 0x0E, 0x10, 0x0E, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, {'f', {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'l', {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'d', {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F}}, {'u', {0, 0, 0x11, 0x11, 0x11, 0x13, 0x0D}},
};

// The pictures' font: a face of a TrueType file at a pixel size whose
// ascent and descent fill the built-in glyphs' line (kGlyphH).
class PictureFont {
 public:
  explicit PictureFont(const std::string& file) { load(file); }
  PictureFont(const PictureFont&) = delete;
  PictureFont& operator=(const PictureFont&) = delete;
  ~PictureFont() { close(); }
  bool load(const std::string& file) {
    close();
    if (FT_Init_FreeType(&library_) != 0) return false;
    if (FT_New_Face(library_, file.c_str(), 0, &face_) != 0 || FT_Set_Pixel_Sizes(face_, 0, 12) != 0) {
      close();
      return false;
    }
    ascent_ = std::min(static_cast<int>(face_->size->metrics.ascender >> 6), kGlyphH);
    return true;
  }
  FT_Face face() const { return face_; }
  int ascent() const { return ascent_; }

 private:
  void close() {
    if (face_) FT_Done_Face(face_);
    if (library_) FT_Done_FreeType(library_);
    face_ = nullptr;
    library_ = nullptr;
  }
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
  int ascent_ = 0;
};

// DejaVu Sans, loaded for the first picture; the built-in glyphs when it
// cannot be read.
PictureFont& picture_font() {
  static PictureFont font(kPictureFontFile);
  return font;
}

const Glyph* glyph(char c) {
  for (const Glyph& g : kGlyphs)
    if (g.c == c) return &g;
  return nullptr;  // a space, or a character no label uses
}

class Canvas {
 public:
  Canvas(PlanePicture& p) : p_(p) {}
  void set(int x, int y, plot::Rgb c) {
    if (x < 0 || y < 0 || x >= p_.width || y >= p_.height) return;
    const std::size_t i = (static_cast<std::size_t>(y) * p_.width + x) * 3;
    p_.rgb[i] = c.r;
    p_.rgb[i + 1] = c.g;
    p_.rgb[i + 2] = c.b;
  }
  void rect(int x, int y, int w, int h, plot::Rgb c) {
    for (int j = y; j < y + h; ++j)
      for (int i = x; i < x + w; ++i) set(i, j, c);
  }
  void frame(int x, int y, int w, int h) {
    rect(x - 1, y - 1, w + 2, 1, kInk);
    rect(x - 1, y + h, w + 2, 1, kInk);
    rect(x - 1, y - 1, 1, h + 2, kInk);
    rect(x + w, y - 1, 1, h + 2, kInk);
  }
  // Ink over the pixel at `coverage` of 255, smoothing the font's edges.
  void ink(int x, int y, int coverage) {
    if (x < 0 || y < 0 || x >= p_.width || y >= p_.height) return;
    std::uint8_t* c = &p_.rgb[(static_cast<std::size_t>(y) * p_.width + x) * 3];
    const std::uint8_t to[3] = {kInk.r, kInk.g, kInk.b};
    for (int k = 0; k < 3; ++k) c[k] = static_cast<std::uint8_t>((c[k] * (255 - coverage) + to[k] * coverage + 127) / 255);
  }
  // Text with its top left corner at (x, y); `up` turns it a quarter to the
  // left, reading upwards, with (x, y) then its bottom left corner.
  void text(int x, int y, const std::string& s, bool up = false) {
    if (const FT_Face face = picture_font().face()) {
      const int base = picture_font().ascent();
      long pen = 0;  // 26.6 fixed point along the line
      for (const char ch : s) {
        if (FT_Load_Char(face, static_cast<unsigned char>(ch), FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot g = face->glyph;
        const FT_Bitmap& b = g->bitmap;
        const int left = static_cast<int>((pen + 32) >> 6) + g->bitmap_left;
        for (unsigned row = 0; row < b.rows; ++row)
          for (unsigned col = 0; col < b.width; ++col) {
            const int a = b.buffer[row * b.pitch + col];
            if (a == 0) continue;
            const int u = left + static_cast<int>(col), v = base - g->bitmap_top + static_cast<int>(row);
            if (up) ink(x + v, y - u, a);
            else ink(x + u, y + v, a);
          }
        pen += g->advance.x;
      }
      return;
    }
    for (std::size_t n = 0; n < s.size(); ++n) {
      const Glyph* g = glyph(s[n]);
      if (!g) continue;
      for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col) {
          if (!(g->rows[row] & (0x10 >> col))) continue;
          for (int a = 0; a < kFontScale; ++a)
            for (int b = 0; b < kFontScale; ++b) {
              const int u = static_cast<int>(n) * kAdvance + col * kFontScale + a;
              const int v = row * kFontScale + b;
              if (up) set(x + v, y - u, kInk);
              else set(x + u, y + v, kInk);
            }
        }
    }
  }

 private:
  PlanePicture& p_;
};

std::string emission_axis_title(bool transfer) {
  return transfer ? "Energy transfer (eV)" : "Emission energy (eV)";
}

std::string tick_label(double v, int decimals) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, std::abs(v) < 1e-300 ? 0.0 : v);
  return buf;
}

std::string bar_label(double v, bool log) {
  char buf[32];
  if (log) std::snprintf(buf, sizeof buf, "%.0e", std::pow(10.0, v));
  else std::snprintf(buf, sizeof buf, "%.3g", std::abs(v) < 1e-300 ? 0.0 : v);
  return buf;
}

// Half a step of the points on each side of an axis of values `first` ... `last`.
std::pair<double, double> padded(double first, double last, std::size_t count, double fallback) {
  const double half = count > 1 ? 0.5 * (last - first) / static_cast<double>(count - 1)
                                : 0.5 * fallback;
  return {first - half, last + half};
}

// The PNG encoding of rows of RGB pixels into `out`.
bool encode_png(const std::uint8_t* rgb, int width, int height, std::string& out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(rgb + static_cast<std::size_t>(y) * width * 3));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::string base64(const std::string& in) {
  static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < in.size(); i += 3) {
    const unsigned a = static_cast<unsigned char>(in[i]);
    const unsigned b = i + 1 < in.size() ? static_cast<unsigned char>(in[i + 1]) : 0;
    const unsigned c = i + 2 < in.size() ? static_cast<unsigned char>(in[i + 2]) : 0;
    const unsigned v = (a << 16) | (b << 8) | c;
    out += k[(v >> 18) & 63];
    out += k[(v >> 12) & 63];
    out += i + 1 < in.size() ? k[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? k[v & 63] : '=';
  }
  return out;
}

}  // namespace

int text_width(const std::string& s) {
  if (const FT_Face face = picture_font().face()) {
    long pen = 0;
    for (const char ch : s)
      if (FT_Load_Char(face, static_cast<unsigned char>(ch), FT_LOAD_DEFAULT) == 0) pen += face->glyph->advance.x;
    return static_cast<int>((pen + 32) >> 6);
  }
  return static_cast<int>(s.size()) * kAdvance - kFontScale;
}

bool use_picture_font(const std::string& file) { return picture_font().load(file); }

std::string picture_font_caution() {
  if (picture_font().face()) return {};
  return std::string("CAUTION!! ") + kPictureFontFile +
         " could not be read (Debian's fonts-dejavu-core); the picture's text is in the built-in font.";
}

plot::Rgb viridis(double t) {
  // A polynomial fit of the scale, within about 1/100 of its tabulated colours.
  t = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0);
  static constexpr double c[7][3] = {
      {0.2777273272234177, 0.005407344544966578, 0.3340998053353061},
      {0.1050930431085774, 1.404613529898575, 1.384590162594685},
      {-0.3308618287255563, 0.214847559468213, 0.09509516302823659},
      {-4.634230498983486, -5.799100973351585, -19.33244095627987},
      {6.228269936347081, 14.17993336680509, 56.69055260068105},
      {4.776384997670288, -13.74514537774601, -65.35303263337234},
      {-5.435455855934631, 4.645852612178535, 26.3124352495832}};
  std::uint8_t out[3];
  for (int ch = 0; ch < 3; ++ch) {
    double v = c[6][ch];
    for (int i = 5; i >= 0; --i) v = c[i][ch] + t * v;
    out[ch] = static_cast<std::uint8_t>(std::lround(255 * std::clamp(v, 0.0, 1.0)));
  }
  return {out[0], out[1], out[2]};
}

plot::Rgb diverging(double t) {
  t = std::clamp(std::isfinite(t) ? t : 0.5, 0.0, 1.0);
  // From a cool blue through white to a warm red, each half a straight line.
  constexpr double kBlue[3] = {59, 76, 192}, kRed[3] = {180, 4, 38};
  const double* end = t < 0.5 ? kBlue : kRed;
  const double f = std::abs(2 * t - 1);  // 0 at white, 1 at either end
  std::uint8_t out[3];
  for (int ch = 0; ch < 3; ++ch) out[ch] = static_cast<std::uint8_t>(std::lround(255 + f * (end[ch] - 255)));
  return {out[0], out[1], out[2]};
}

std::optional<std::pair<double, double>> ValueSpan::colour_range(bool log) const {
  if (!(hi >= lo)) return std::nullopt;
  if (!log) return std::make_pair(lo, hi);
  if (!(hi > 0)) return std::nullopt;
  return std::make_pair(std::max(lo_positive, hi * 1e-4), hi);
}

std::optional<std::pair<double, double>> colour_range(const RIXSPlane& plane, bool log) {
  ValueSpan span;
  for (std::size_t i = 0; i < plane.values.size(); i += 3) span.add(plane.values[i]);
  return span.colour_range(log);
}

double colour_position(double value, double lo, double hi, bool log) {
  double t;
  if (log) {
    if (!(value > 0)) return 0;
    t = hi > lo ? (std::log10(value) - std::log10(lo)) / (std::log10(hi) - std::log10(lo)) : 1;
  } else {
    t = hi > lo ? (value - lo) / (hi - lo) : 0;
  }
  return std::isfinite(t) ? std::clamp(t, 0.0, 1.0) : 0.0;
}

PlaneLayout plane_layout(const RIXSPlane& plane, int width, int height) {
  PlaneLayout l;
  l.width = std::max(width, 200);
  l.height = std::max(height, 150);
  l.x0 = 2 * kGlyphH + 8 * kAdvance + 8;  // the title and the tick labels on the left
  l.y0 = 12;
  l.w = std::max(l.width - l.x0 - kBarWidth - 9 * kAdvance - 12, 20);  // colour bar and its values
  l.h = std::max(l.height - l.y0 - 2 * kGlyphH - 24, 20);
  l.bar_x = l.x0 + l.w + 16;
  if (plane.empty()) return l;
  std::tie(l.x_lo, l.x_hi) = padded(plane.omega.front(), plane.omega.back(), plane.rows(), 1.0);
  const double w0 = plane.emission.front(), w1 = plane.emission.back();
  const std::size_t n = plane.columns();
  if (plane.transfer)
    std::tie(l.y_lo, l.y_hi) = padded(plane.omega.front() - w1, plane.omega.back() - w0,
                                      std::max<std::size_t>(n, 2), n > 1 ? 0.0 : 1.0);
  else
    std::tie(l.y_lo, l.y_hi) = padded(w0, w1, n, 1.0);
  if (plane.transfer) {
    // Half an emission step on each side, whatever the excitation energies span.
    const double half = n > 1 ? 0.5 * (w1 - w0) / static_cast<double>(n - 1) : 0.5;
    l.y_lo = plane.omega.front() - w1 - half;
    l.y_hi = plane.omega.back() - w0 + half;
  }
  return l;
}

std::optional<std::pair<std::size_t, std::size_t>> plane_point_at(const RIXSPlane& plane,
                                                                  const PlaneLayout& l, int px,
                                                                  int py) {
  if (plane.empty() || !l.inside(px, py)) return std::nullopt;
  const double x = l.x_at(px), y = l.y_at(py);
  const std::size_t m = plane.rows(), n = plane.columns();
  const double hx = m > 1 ? (plane.omega.back() - plane.omega.front()) / static_cast<double>(m - 1) : 1;
  const double r = std::round((x - plane.omega.front()) / hx);
  if (!(r >= 0 && r <= static_cast<double>(m - 1))) return std::nullopt;
  const std::size_t row = static_cast<std::size_t>(r);
  const double w = plane.transfer ? plane.omega[row] - y : y;
  const double hw = n > 1 ? (plane.emission.back() - plane.emission.front()) / static_cast<double>(n - 1) : 1;
  const double k = std::round((w - plane.emission.front()) / hw);
  if (!(k >= 0 && k <= static_cast<double>(n - 1))) return std::nullopt;
  return std::make_pair(row, static_cast<std::size_t>(k));
}

Ticks nice_ticks(double lo, double hi, int target) {
  Ticks t;
  if (!(hi > lo) || !std::isfinite(hi - lo)) return t;
  const double raw = (hi - lo) / std::max(target, 1);
  const double p = std::pow(10.0, std::floor(std::log10(raw)));
  double step = p;
  for (double f : {1.0, 2.0, 5.0, 10.0})
    if (f * p >= raw) {
      step = f * p;
      break;
    }
  t.decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
  for (double v = std::ceil(lo / step) * step; v <= hi + 1e-9 * step; v += step)
    t.values.push_back(std::abs(v) < 1e-12 * step ? 0.0 : v);
  return t;
}

namespace {

// The values asked for at least on an axis or a colour bar, so that a
// small picture still shows a few.
constexpr int kLeastTicks = 4;

// The axis values along the excitation axis and up the emission axis.
Ticks x_ticks(const PlaneLayout& l) { return nice_ticks(l.x_lo, l.x_hi, std::max(kLeastTicks, l.w / 110)); }
Ticks y_ticks(const PlaneLayout& l) { return nice_ticks(l.y_lo, l.y_hi, std::max(kLeastTicks, l.h / 70)); }

// Pixels from the left edge of the map to excitation energy v, and from its
// bottom edge up to emission-axis value v.
double x_offset(const PlaneLayout& l, double v) { return (v - l.x_lo) / (l.x_hi - l.x_lo) * l.w; }
double y_offset(const PlaneLayout& l, double v) { return (v - l.y_lo) / (l.y_hi - l.y_lo) * l.h; }

// The values beside the colour bar: ticks inside the intensity range (whole
// decades on the logarithmic scale, where lo and hi are decades as well),
// each with its height above the bottom of the bar.
struct BarTicks {
  double lo = 0, hi = 0;
  std::vector<double> values;
  double offset(double v, int h) const { return hi > lo ? (v - lo) / (hi - lo) * h : 0; }
};

BarTicks bar_ticks(const std::pair<double, double>& range, bool log, int h) {
  BarTicks b;
  b.lo = log ? std::log10(range.first) : range.first;
  b.hi = log ? std::log10(range.second) : range.second;
  const double lo = b.lo, hi = b.hi;
  const Ticks t = log ? nice_ticks(std::floor(lo), std::ceil(hi), std::max(kLeastTicks, h / 70))
                      : nice_ticks(lo, hi, std::max(kLeastTicks, h / 70));
  for (double v : t.values) {
    if (v < lo - 1e-9 * std::abs(lo) || v > hi + 1e-9 * std::abs(hi)) continue;
    if (log && v != std::round(v)) continue;
    b.values.push_back(v);
  }
  return b;
}

}  // namespace

PlanePicture blank_picture(const PlaneLayout& layout) {
  PlanePicture p;
  p.layout = layout;
  p.width = layout.width;
  p.height = layout.height;
  p.rgb.assign(static_cast<std::size_t>(p.width) * p.height * 3, 255);  // white
  return p;
}

void draw_text(PlanePicture& p, int x, int y, const std::string& s) { Canvas(p).text(x, y, s); }

void draw_map_axes(PlanePicture& p, bool values, bool transfer) {
  const PlaneLayout& l = p.layout;
  Canvas cv(p);
  cv.frame(l.x0, l.y0, l.w, l.h);
  const int bottom = l.y0 + l.h;
  if (values) {
    const Ticks tx = x_ticks(l);
    for (double v : tx.values) {
      const int x = l.x0 + static_cast<int>(std::lround(x_offset(l, v)));
      cv.rect(x, bottom, 1, 6, kInk);
      const std::string s = tick_label(v, tx.decimals);
      cv.text(x - text_width(s) / 2, bottom + 8, s);
    }
    const Ticks ty = y_ticks(l);
    for (double v : ty.values) {
      const int y = bottom - static_cast<int>(std::lround(y_offset(l, v)));
      cv.rect(l.x0 - 7, y, 6, 1, kInk);
      const std::string s = tick_label(v, ty.decimals);
      cv.text(l.x0 - 10 - text_width(s), y - kGlyphH / 2, s);
    }
  }
  const std::string xt = "Excitation energy (eV)";
  cv.text(l.x0 + (l.w - text_width(xt)) / 2, bottom + kGlyphH + 14, xt);
  // The title upwards in its short form when the picture is not tall enough.
  std::string yt = emission_axis_title(transfer);
  if (text_width(yt) > l.height - 8) yt = transfer ? "Transfer (eV)" : "Emission (eV)";
  cv.text(4, std::min(l.y0 + (l.h + text_width(yt)) / 2, l.height - 4), yt, true);
}

void draw_colour_bar(PlanePicture& p, const ColourBar& bar) {
  const PlaneLayout& l = p.layout;
  Canvas cv(p);
  for (int py = 0; py < l.h; ++py)
    cv.rect(l.bar_x, l.y0 + py, kBarWidth, 1, bar.scale(1.0 - (py + 0.5) / l.h));
  cv.frame(l.bar_x, l.y0, kBarWidth, l.h);
  const int bottom = l.y0 + l.h;
  if (bar.range) {
    const BarTicks tb = bar_ticks(*bar.range, bar.log, l.h);
    for (double v : tb.values) {
      const int y = bottom - static_cast<int>(std::lround(tb.offset(v, l.h)));
      cv.rect(l.bar_x + kBarWidth, y, 5, 1, kInk);
      cv.text(l.bar_x + kBarWidth + 8, y - kGlyphH / 2, bar_label(v, bar.log));
    }
  }
  cv.text(l.bar_x, bottom + 8, bar.title);
}

PlaneLayout fitted_layout(int width, int height, int top, double x_lo, double x_hi, double y_lo,
                          double y_hi, const std::vector<ColourBar>& bars) {
  PlaneLayout l;
  l.width = std::max(width, 200);
  l.height = std::max(height, 150);
  l.x_lo = x_lo;
  l.x_hi = x_hi;
  l.y_lo = y_lo;
  l.y_hi = y_hi;
  l.y0 = top;
  l.h = std::max(l.height - l.y0 - 2 * kGlyphH - 24, 20);  // the axis values and title below
  // The widest value at the left of the map, and right of the bars.
  int left = 0, right = 0;
  const Ticks ty = y_ticks(l);
  for (double v : ty.values) left = std::max(left, text_width(tick_label(v, ty.decimals)));
  for (const ColourBar& bar : bars) {
    if (bar.range)
      for (double v : bar_ticks(*bar.range, bar.log, l.h).values)
        right = std::max(right, text_width(bar_label(v, bar.log)));
    right = std::max(right, text_width(bar.title) - kBarWidth - 8);
  }
  l.x0 = 4 + kGlyphH + 8 + left + 10;  // the title upwards, the values, the tick marks
  l.w = std::max(l.width - l.x0 - 16 - kBarWidth - 8 - right - 6, 20);
  l.bar_x = l.x0 + l.w + 16;
  return l;
}

PlanePicture render_plane(const RIXSPlane& plane, bool log, int width, int height) {
  PlanePicture p = blank_picture(plane_layout(plane, width, height));
  const PlaneLayout& l = p.layout;
  Canvas cv(p);
  const auto range = colour_range(plane, log);
  // The map: the colour of the point under each pixel.
  for (int py = l.y0; py < l.y0 + l.h; ++py)
    for (int px = l.x0; px < l.x0 + l.w; ++px) {
      const auto at = plane_point_at(plane, l, px, py);
      cv.set(px, py, at && range ? viridis(colour_position(plane.at(at->first, at->second), range->first,
                                                           range->second, log))
                                 : kEmptyColour);
    }
  draw_map_axes(p, !plane.empty(), plane.transfer);
  draw_colour_bar(p, {viridis, range, log, log ? "Intensity (log)" : "Intensity"});
  return p;
}

std::optional<std::string> plane_png(const PlanePicture& picture) {
  std::string out;
  if (picture.rgb.empty() || !encode_png(picture.rgb.data(), picture.width, picture.height, out))
    return std::nullopt;
  return out;
}

namespace {

// An SVG document of the picture's size, element by element: pieces of the
// picture as embedded PNG images, lines and text.
class SvgDocument {
 public:
  explicit SvgDocument(const PlanePicture& p) : p_(p) {
    std::snprintf(buf_, sizeof buf_,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
                  "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"%d\" height=\"%d\" "
                  "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\" font-size=\"14\">\n"
                  "<rect width=\"%d\" height=\"%d\" fill=\"white\"/>\n",
                  p.width, p.height, p.width, p.height, p.width, p.height);
    svg_ += buf_;
  }

  // The pixels of the picture in the rectangle, framed by a black line.
  void image(int x, int y, int w, int h) {
    std::snprintf(buf_, sizeof buf_,
                  "<image x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" preserveAspectRatio=\"none\" "
                  "xlink:href=\"data:image/png;base64,",
                  x, y, w, h);
    svg_ += buf_;
    svg_ += crop(x, y, w, h);
    svg_ += "\"/>\n";
    std::snprintf(buf_, sizeof buf_,
                  "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"none\" stroke=\"black\"/>\n",
                  x, y, w, h);
    svg_ += buf_;
  }

  // Text at (x, y), anchored "start", "middle" or "end"; `extra` holds
  // further attributes.
  void text(double x, double y, const char* anchor, const std::string& s,
            const std::string& extra = "") {
    std::snprintf(buf_, sizeof buf_, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"%s\"", x, y, anchor);
    svg_ += buf_;
    svg_ += extra + ">" + s + "</text>\n";
  }

  void line(double x1, double y1, double x2, double y2) {
    std::snprintf(buf_, sizeof buf_,
                  "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"black\"/>\n", x1, y1,
                  x2, y2);
    svg_ += buf_;
  }

  // The finished document.
  std::string close() { return svg_ + "</svg>\n"; }

 private:
  // The rectangle of the picture as a base64 PNG.
  std::string crop(int x, int y, int w, int h) const {
    std::vector<std::uint8_t> rgb;
    for (int j = y; j < y + h; ++j)
      rgb.insert(rgb.end(), p_.rgb.begin() + (static_cast<std::size_t>(j) * p_.width + x) * 3,
                 p_.rgb.begin() + (static_cast<std::size_t>(j) * p_.width + x + w) * 3);
    std::string png;
    encode_png(rgb.data(), w, h, png);
    return base64(png);
  }

  const PlanePicture& p_;
  char buf_[512];
  std::string svg_;
};

// The tick marks and values of both axes of the map.
void svg_axis_values(SvgDocument& svg, const PlaneLayout& l) {
  const int bottom = l.y0 + l.h;
  const Ticks tx = x_ticks(l);
  for (double v : tx.values) {
    const double x = l.x0 + x_offset(l, v);
    svg.line(x, bottom, x, bottom + 6);
    svg.text(x, bottom + 22, "middle", tick_label(v, tx.decimals));
  }
  const Ticks ty = y_ticks(l);
  for (double v : ty.values) {
    const double y = bottom - y_offset(l, v);
    svg.line(l.x0 - 6, y, l.x0, y);
    svg.text(l.x0 - 10, y + 5, "end", tick_label(v, ty.decimals));
  }
}

// The tick marks and values beside the colour bar.
void svg_bar_values(SvgDocument& svg, const PlaneLayout& l, const BarTicks& tb, bool log) {
  const int bottom = l.y0 + l.h;
  for (double v : tb.values) {
    const double y = bottom - tb.offset(v, l.h);
    svg.line(l.bar_x + kBarWidth, y, l.bar_x + kBarWidth + 5, y);
    svg.text(l.bar_x + kBarWidth + 8, y + 5, "start", bar_label(v, log));
  }
}

}  // namespace

std::string plane_svg(const RIXSPlane& plane, bool log, int width, int height) {
  // The map and the colour bar are pictures of their pixels; the frame, the
  // axis values and the titles are text and lines.
  const PlanePicture p = render_plane(plane, log, width, height);
  const PlaneLayout& l = p.layout;
  SvgDocument svg(p);
  svg.image(l.x0, l.y0, l.w, l.h);
  svg.image(l.bar_x, l.y0, kBarWidth, l.h);
  if (!plane.empty()) svg_axis_values(svg, l);
  if (const auto range = colour_range(plane, log)) svg_bar_values(svg, l, bar_ticks(*range, log, l.h), log);
  const int bottom = l.y0 + l.h;
  svg.text(l.x0 + l.w / 2.0, bottom + kGlyphH + 30, "middle", "Excitation energy (eV)");
  char turn[64];
  std::snprintf(turn, sizeof turn, " transform=\"rotate(-90 %d %.1f)\"", 18, l.y0 + l.h / 2.0);
  svg.text(18, l.y0 + l.h / 2.0, "middle", emission_axis_title(plane.transfer), turn);
  svg.text(l.bar_x, bottom + 22, "start", log ? "Intensity (log)" : "Intensity");
  return svg.close();
}

}  // namespace talvern
