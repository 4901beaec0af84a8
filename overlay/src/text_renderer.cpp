#include "corvella/overlay/text_renderer.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

#include "corvella/platform/checked.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "font_cache.h"

namespace corvella::overlay {

namespace {

// Hinted outlines; embedded bitmaps are never used, since glyphs are drawn at any angle.
constexpr FT_Int32 kLoadFlags = FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP;

// The slant of a synthesised oblique: x moves by this much per unit of height (about 12 degrees).
constexpr double kObliqueShear = 0.2126;

// Largest block handed to the rasteriser at once: its span coordinates are 16-bit.
constexpr int32_t kTile = 16384;

constexpr int64_t kOne = 64;  // 1.0 in 26.6 fixed point

int64_t FloorDiv64(int64_t v) {
  return v >= 0 ? v / kOne : -((-v + kOne - 1) / kOne);
}
int64_t CeilDiv64(int64_t v) {
  return -FloorDiv64(-v);
}

// Decodes UTF-16 into code points; an unpaired surrogate becomes U+FFFD.
std::vector<uint32_t> CodePoints(std::u16string_view text) {
  std::vector<uint32_t> points;
  points.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      points.push_back(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      points.push_back(0xFFFD);
    } else {
      points.push_back(unit);
    }
  }
  return points;
}

// Where spans of coverage go: the target, the tile's device origin and colour.
struct SpanTarget {
  const imaging::ImageView* view;
  int64_t tileX;  // device column of span x = 0
  int64_t tileY;  // device row of span y = -1
  Rgb colour;
};

// Blends the rasteriser's spans into the target. Rows and columns are clamped to the target
// again, so that nothing is written outside it whatever the rasteriser hands over.
void BlendSpans(int y, int count, const FT_Span* spans, void* user) {
  const SpanTarget& t = *static_cast<const SpanTarget*>(user);
  const int64_t row = t.tileY - y - 1;
  if (row < 0 || row >= t.view->height) return;
  uint8_t* line = t.view->Row(static_cast<int32_t>(row));
  const uint8_t b = t.colour.blue;
  const uint8_t g = t.colour.green;
  const uint8_t r = t.colour.red;
  for (int s = 0; s < count; ++s) {
    int64_t x0 = std::max<int64_t>(0, t.tileX + spans[s].x);
    int64_t x1 = std::min<int64_t>(t.view->width, t.tileX + spans[s].x + spans[s].len);
    const uint8_t coverage = spans[s].coverage;
    if (coverage == 0 || x0 >= x1) continue;
    uint8_t* p = line + x0 * imaging::kBytesPerPixel;
    if (coverage == 255) {
      for (int64_t x = x0; x < x1; ++x, p += 3) {
        p[0] = b;
        p[1] = g;
        p[2] = r;
      }
    } else {
      for (int64_t x = x0; x < x1; ++x, p += 3) {
        p[0] = BlendChannel(p[0], b, coverage);
        p[1] = BlendChannel(p[1], g, coverage);
        p[2] = BlendChannel(p[2], r, coverage);
      }
    }
  }
}

// Rasterises @p outline (26.6, y up, relative to its origin at device point (ox, oy)) into the
// target with antialiasing, clipped to the target. The outline is moved and moved back.
void RenderOutline(FT_Library library, FT_Outline& outline, double ox, double oy,
                   const imaging::ImageView& target, Rgb colour) {
  if (target.Empty() || outline.n_points == 0) return;
  // Whole device pixels of the origin, and the fraction moved into the outline.
  const double fx = std::floor(ox);
  const double fy = std::floor(oy);
  if (!(std::fabs(fx) < 1e12 && std::fabs(fy) < 1e12)) return;
  const int64_t ix = static_cast<int64_t>(fx);
  const int64_t iy = static_cast<int64_t>(fy);
  const FT_Pos shiftX = std::lround((ox - fx) * kOne);
  const FT_Pos shiftY = -std::lround((oy - fy) * kOne);
  FT_Outline_Translate(&outline, shiftX, shiftY);

  FT_BBox box;
  FT_Outline_Get_CBox(&outline, &box);
  const int64_t left = std::max<int64_t>(0, ix + FloorDiv64(box.xMin));
  const int64_t right = std::min<int64_t>(target.width, ix + CeilDiv64(box.xMax));
  const int64_t top = std::max<int64_t>(0, iy - CeilDiv64(box.yMax));
  const int64_t bottom = std::min<int64_t>(target.height, iy - FloorDiv64(box.yMin));

  SpanTarget spanTarget{&target, 0, 0, colour};
  FT_Raster_Params params{};
  params.source = &outline;
  params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
  params.gray_spans = BlendSpans;
  params.user = &spanTarget;
  for (int64_t tileY = top; tileY < bottom; tileY += kTile) {
    for (int64_t tileX = left; tileX < right; tileX += kTile) {
      // Move the outline so that the tile's top-left device pixel is span (0, -1).
      const FT_Pos dx = static_cast<FT_Pos>((ix - tileX) * kOne);
      const FT_Pos dy = static_cast<FT_Pos>((tileY - iy) * kOne);
      FT_Outline_Translate(&outline, dx, dy);
      spanTarget.tileX = tileX;
      spanTarget.tileY = tileY;
      params.clip_box.xMin = 0;
      params.clip_box.yMin = -static_cast<FT_Pos>(std::min<int64_t>(kTile, bottom - tileY));
      params.clip_box.xMax = static_cast<FT_Pos>(std::min<int64_t>(kTile, right - tileX));
      params.clip_box.yMax = 0;
      // A failure of the rasteriser leaves the glyph undrawn, as the platform's text output does.
      FT_Outline_Render(library, &outline, &params);
      FT_Outline_Translate(&outline, -dx, -dy);
    }
  }
  FT_Outline_Translate(&outline, -shiftX, -shiftY);
}

FT_Fixed ToFixed(double value) {
  return static_cast<FT_Fixed>(std::lround(value * 65536.0));
}

}  // namespace

int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator) {
  if (denominator == 0) return -1;
  int64_t product = int64_t{number} * numerator;
  int64_t magnitude = (std::llabs(product) + std::llabs(int64_t{denominator}) / 2) /
                      std::llabs(int64_t{denominator});
  bool negative = (product < 0) != (denominator < 0);
  int64_t result = negative ? -magnitude : magnitude;
  if (result < std::numeric_limits<int32_t>::min() ||
      result > std::numeric_limits<int32_t>::max()) {
    return -1;
  }
  return static_cast<int32_t>(result);
}

namespace {

fonts::RequestKey KeyOf(const FontRequest& request) {
  fonts::RequestKey key;
  key.family = platform::WideToUtf8(request.face);
  key.weight = request.weight <= 0 ? 400 : std::min<int32_t>(request.weight, 1000);
  key.italic = request.italic;
  key.language = fonts::LanguageOfCharset(request.charset);
  return key;
}

// The face's ascent and descent in font units: the platform's cell (the OS/2 table's Windows
// metrics) where the face has them, else the horizontal header's.
void CellUnits(FT_Face face, int64_t& ascent, int64_t& descent) {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    ascent = os2->usWinAscent;
    descent = os2->usWinDescent;
  } else {
    ascent = face->ascender;
    descent = -face->descender;
  }
  if (ascent + descent <= 0) {
    ascent = face->units_per_EM * 4 / 5;
    descent = face->units_per_EM / 5;
  }
}

}  // namespace

struct TextFont::Impl {
  // A face of the font, opened the first time a character needs it.
  struct Slot {
    const fonts::ResolvedFace* face = nullptr;
    fonts::FaceLease lease;
    bool tried = false;
    FT_Pos boldStrength = 0;  // 26.6, when bold is synthesised; added to each advance
    bool oblique = false;     // italic is synthesised by slanting
  };

  std::shared_ptr<const fonts::ResolvedFont> font;
  bool bold = false;  // asked for
  bool italic = false;
  bool underline = false;
  int32_t escapement = 0;
  int32_t em = kDefaultEmPixels;
  int32_t ascent = 0;              // pixels
  int32_t descent = 0;             // pixels
  int32_t underlineTop = 0;        // pixels above the baseline (negative: below)
  int32_t underlineThickness = 1;  // pixels
  double radius = 0;               // no ink lies farther than this from a glyph's origin
  std::vector<Slot> slots;         // 0: primary; n: fallback n - 1

  // The face of slot @p n at the font's size, or nullptr when it cannot be opened.
  FT_Face Face(size_t n) {
    Slot& slot = slots[n];
    if (!slot.tried) {
      slot.tried = true;
      fonts::FaceSource* source = slot.face->source;
      Use(slot, fonts::FaceLease(source, source->Acquire()));
    }
    return slot.lease ? slot.lease->face : nullptr;
  }

  // Sizes a newly leased face and keeps it in @p slot; a face that cannot be sized is given back.
  void Use(Slot& slot, fonts::FaceLease lease) {
    if (!lease) return;
    FT_Face face = lease->face;
    // An instance keeps the size of its last use; setting it again would rerun the hinting set-up.
    if (face->size->metrics.x_ppem != em || face->size->metrics.y_ppem != em) {
      if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em)) != 0) return;
    }
    // What the face lacks of the style asked for is synthesised.
    if (bold && !lease->bold) slot.boldStrength = std::max(1, (em + 12) / 24) * kOne;
    slot.oblique = italic && !lease->italic;
    slot.lease = std::move(lease);
  }

  uint32_t CharIndex(size_t n, uint32_t codePoint) {
    FT_Face face = Face(n);
    if (face == nullptr) return 0;
    uint32_t index = FT_Get_Char_Index(face, codePoint);
    if (index == 0 && slots[n].lease->symbolMap && codePoint < 0x100) {
      index = FT_Get_Char_Index(face, 0xF000 + codePoint);
    }
    return index;
  }
};

TextFont::TextFont(const FontRequest& request) : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  const fonts::RequestKey key = KeyOf(request);
  m.font = fonts::Resolve(key);
  if (!m.font) platform::Raise(platform::RuntimeError::InvalidProcedureCall, "no usable font");
  m.bold = key.weight >= fonts::kBoldWeight;
  m.italic = key.italic;
  m.underline = request.underline;
  m.escapement = request.escapement;
  m.slots.resize(1 + m.font->fallbacks.size());
  m.slots[0].face = &m.font->primary;
  for (size_t i = 0; i < m.font->fallbacks.size(); ++i)
    m.slots[i + 1].face = &m.font->fallbacks[i];

  // The primary face opened when the request was matched, so it opens again here; it becomes the
  // face of slot 0 once the size is known.
  fonts::FaceSource* source = m.font->primary.source;
  fonts::FaceLease probe(source, source->Acquire());
  if (!probe) platform::Raise(platform::RuntimeError::InvalidProcedureCall, "no usable font");
  FT_Face face = probe->face;
  int64_t ascentUnits = 0;
  int64_t descentUnits = 0;
  CellUnits(face, ascentUnits, descentUnits);
  const int64_t unitsPerEm = std::max<int64_t>(1, face->units_per_EM);

  // Negative heights name the em, positive ones the cell; 0 the default size.
  int64_t em = kDefaultEmPixels;
  if (request.height < 0) {
    em = -int64_t{request.height};
  } else if (request.height > 0) {
    em = (int64_t{request.height} * unitsPerEm + (ascentUnits + descentUnits) / 2) /
         (ascentUnits + descentUnits);
  }
  m.em = static_cast<int32_t>(std::clamp<int64_t>(em, 1, 65535));
  // Cell metrics rounded up, so that the cell holds every glyph the face was designed for.
  m.ascent = static_cast<int32_t>((ascentUnits * m.em + unitsPerEm - 1) / unitsPerEm);
  m.descent = static_cast<int32_t>((descentUnits * m.em + unitsPerEm - 1) / unitsPerEm);

  const double scale = static_cast<double>(m.em) / static_cast<double>(unitsPerEm);
  int32_t thickness = static_cast<int32_t>(std::lround(face->underline_thickness * scale));
  if (face->underline_thickness <= 0) thickness = std::max(1, m.em / 14);
  m.underlineThickness = std::max(1, thickness);
  double centre = face->underline_position != 0 ? face->underline_position * scale : -m.em / 10.0;
  m.underlineTop = static_cast<int32_t>(std::lround(centre + m.underlineThickness / 2.0));
  // The bar stays within the cell.
  m.underlineTop = std::max(m.underlineTop, m.underlineThickness - m.descent);
  m.underlineTop = std::min(m.underlineTop, 0);

  // The farthest ink from a glyph's origin, from the face's bounding box, with room for
  // synthesised bold and slant.
  const FT_BBox& bbox = face->bbox;
  double extent = std::max({std::abs(bbox.xMin), std::abs(bbox.xMax), std::abs(bbox.yMin),
                            std::abs(bbox.yMax), static_cast<FT_Pos>(face->units_per_EM)}) *
                  scale;
  m.radius = extent * 1.5 + m.em / 8.0 + 4;

  m.slots[0].tried = true;
  m.Use(m.slots[0], std::move(probe));
}

TextFont::~TextFont() = default;

int32_t TextFont::EmPixels() const {
  return impl_->em;
}

TextLine TextFont::Layout(std::u16string_view text) {
  Impl& m = *impl_;
  TextLine line;
  line.extent_.cy = m.ascent + m.descent;
  const std::vector<uint32_t> points = CodePoints(text);
  line.glyphs_.reserve(points.size());
  int64_t pen = 0;
  for (uint32_t point : points) {
    uint32_t slot = 0;
    uint32_t index = m.CharIndex(0, point);
    for (size_t n = 1; index == 0 && n < m.slots.size(); ++n) {
      if (!m.slots[n].face->source->Covers(point)) continue;
      index = m.CharIndex(n, point);
      if (index != 0) slot = static_cast<uint32_t>(n);
    }
    // A character that no face has is drawn as the primary face's missing glyph (index 0).
    FT_Face face = m.Face(slot);
    int64_t advance = 0;
    if (face != nullptr && FT_Load_Glyph(face, index, kLoadFlags) == 0) {
      advance = (face->glyph->advance.x + kOne / 2) & ~(kOne - 1);
      advance += m.slots[slot].boldStrength;
    }
    line.glyphs_.push_back({slot, index, pen});
    pen += advance;
  }
  line.width_ = pen;
  line.extent_.cx = platform::checked::ToInt32(pen / kOne);
  return line;
}

void TextFont::Draw(const TextLine& line, const imaging::ImageView& target, int32_t x, int32_t y,
                    Rgb colour) {
  Impl& m = *impl_;
  if (target.Empty()) return;
  const double theta = m.escapement * 6.2831853 / 3600;
  const double s = m.escapement == 0 ? 0.0 : std::sin(theta);
  const double c = m.escapement == 0 ? 1.0 : std::cos(theta);
  const FT_Matrix rotation{ToFixed(c), ToFixed(-s), ToFixed(s), ToFixed(c)};
  // The slant of a synthesised oblique comes before the turn.
  const FT_Matrix oblique{ToFixed(c), ToFixed(c * kObliqueShear - s), ToFixed(s),
                          ToFixed(s * kObliqueShear + c)};
  const double ascent = m.ascent;

  for (const TextLine::Glyph& glyph : line.glyphs_) {
    const double pen = static_cast<double>(glyph.penX) / kOne;
    // The glyph's origin on the baseline, turned around (x, y).
    const double ox = x + pen * c + ascent * s;
    const double oy = y - pen * s + ascent * c;
    if (ox + m.radius < 0 || ox - m.radius > target.width || oy + m.radius < 0 ||
        oy - m.radius > target.height) {
      continue;
    }
    Impl::Slot& slot = m.slots[glyph.face];
    FT_Face face = m.Face(glyph.face);
    if (face == nullptr || FT_Load_Glyph(face, glyph.index, kLoadFlags) != 0) continue;
    FT_GlyphSlot loaded = face->glyph;
    if (loaded->format != FT_GLYPH_FORMAT_OUTLINE) continue;
    FT_Outline& outline = loaded->outline;
    if (slot.boldStrength != 0) {
      FT_Outline_EmboldenXY(&outline, slot.boldStrength, slot.boldStrength);
      // Emboldening grows the outline to both sides; keep its left edge where it was.
      FT_Outline_Translate(&outline, slot.boldStrength / 2, 0);
    }
    if (slot.oblique) {
      FT_Outline_Transform(&outline, &oblique);
    } else if (m.escapement != 0) {
      FT_Outline_Transform(&outline, &rotation);
    }
    RenderOutline(slot.lease->library, outline, ox, oy, target, colour);
  }

  if (m.underline && line.width_ > 0 && m.Face(0) != nullptr) {
    // A bar under the whole advance width, from the underline's top down by its thickness. Only
    // the stretch along the baseline that can meet the image is drawn, so that the coordinates
    // handed to the rasteriser stay small whatever the line's length and position.
    const double ox = x + ascent * s;
    const double oy = y + ascent * c;
    double uMin = std::numeric_limits<double>::infinity();
    double uMax = -uMin;
    for (double cornerX : {0.0, static_cast<double>(target.width)}) {
      for (double cornerY : {0.0, static_cast<double>(target.height)}) {
        const double u = (cornerX - ox) * c - (cornerY - oy) * s;
        uMin = std::min(uMin, u);
        uMax = std::max(uMax, u);
      }
    }
    const double u0 = std::max(0.0, std::floor(uMin) - 2);
    const double u1 = std::min(static_cast<double>(line.width_ / kOne), std::ceil(uMax) + 2);
    if (u0 < u1) {
      const FT_Pos length = static_cast<FT_Pos>(u1 - u0) * kOne;
      const FT_Pos top = m.underlineTop * kOne;
      const FT_Pos bottom = (m.underlineTop - m.underlineThickness) * kOne;
      FT_Vector points[4] = {{0, top}, {length, top}, {length, bottom}, {0, bottom}};
      char tags[4] = {FT_CURVE_TAG_ON, FT_CURVE_TAG_ON, FT_CURVE_TAG_ON, FT_CURVE_TAG_ON};
      short contours[1] = {3};
      FT_Outline bar{};
      bar.n_contours = 1;
      bar.n_points = 4;
      bar.points = points;
      bar.tags = tags;
      bar.contours = contours;
      bar.flags = FT_OUTLINE_NONE;
      if (m.escapement != 0) FT_Outline_Transform(&bar, &rotation);
      RenderOutline(m.slots[0].lease->library, bar, ox + u0 * c, oy - u0 * s, target, colour);
    }
  }
}

FontMatch DescribeFontMatch(const FontRequest& request) {
  std::shared_ptr<const fonts::ResolvedFont> font = fonts::Resolve(KeyOf(request));
  FontMatch match;
  if (!font) return match;
  match.file = font->primary.source->File();
  match.index = font->primary.source->Index();
  match.family = font->primary.family;
  fonts::FaceSource* source = font->primary.source;
  fonts::FaceLease lease(source, source->Acquire());
  if (lease) {
    const fonts::RequestKey key = KeyOf(request);
    match.syntheticBold = key.weight >= fonts::kBoldWeight && !lease->bold;
    match.syntheticItalic = key.italic && !lease->italic;
  }
  return match;
}

}  // namespace corvella::overlay

namespace corvella::overlay {

FontCacheCounters FontCacheStatistics() {
  return {fonts::MatchesMade(), fonts::InstancesOpened()};
}

}  // namespace corvella::overlay
