#include "toolkit/draw/CairoContext.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>

#include "resources/ResourceTable.h"

namespace {

// The faces are read once from the module's resources and live as long as the process: Cairo
// keeps references to them in its own caches.
cairo_font_face_t* linkedFace(bool bold) {
    static FT_Library library = nullptr;
    static cairo_font_face_t* faces[2] = {nullptr, nullptr};
    static bool tried[2] = {false, false};
    int i = bold ? 1 : 0;
    if (!tried[i]) {
        tried[i] = true;
        const unsigned char* bytes = nullptr;
        std::size_t size = 0;
        if ((library || FT_Init_FreeType(&library) == 0) &&
            findResource(bold ? kResourceFontBold : kResourceFontRegular, "TTF", &bytes, &size)) {
            FT_Face face = nullptr;
            if (FT_New_Memory_Face(library, bytes, FT_Long(size), 0, &face) == 0)
                faces[i] = cairo_ft_font_face_create_for_ft_face(face, 0);
        }
    }
    return faces[i];
}

// Cairo stops drawing for good after invalid UTF-8, and names may hold any bytes: bytes that do
// not form UTF-8 are taken as Latin-1.
std::string validUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        bool ok = extra >= 0 && c != 0xC0 && c != 0xC1 &&
                  i + std::size_t(extra) < text.size() + (extra == 0 ? 1 : 0);
        for (int k = 1; ok && k <= extra; ++k)
            ok = i + std::size_t(k) < text.size() &&
                 (static_cast<unsigned char>(text[i + std::size_t(k)]) >> 6) == 2;
        if (ok) {
            out.append(text, i, std::size_t(extra) + 1);
            i += std::size_t(extra) + 1;
        } else {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
            ++i;
        }
    }
    return out;
}

}  // namespace

void selectToolkitFont(cairo_t* cr, const CFontDesc& font) {
    if (cairo_font_face_t* face = linkedFace(font.bold)) {
        cairo_set_font_face(cr, face);
    } else {
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                               font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    }
    cairo_set_font_size(cr, font.size);
    // Fixed options, so that every machine and every frame draws the same pixels.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

std::unique_ptr<CDrawContext> createBitmapContext(CBitmap& target, double scale) {
    return std::make_unique<CCairoContext>(target, scale);
}

CCairoContext::CCairoContext(CBitmap& t, double s)
    : CDrawContext(s),
      target(t),
      surface(cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(t.pixels()),
                                                  CAIRO_FORMAT_ARGB32, t.getWidth(), t.getHeight(),
                                                  t.getWidth() * 4)),
      cr(cairo_create(surface)),
      measure(cr),
      clip(layoutRect(bounds(), scale)) {
    if (scale != 1.0) {
        cairo_scale(cr, scale, scale);
        measureSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        measure = cairo_create(measureSurface);
        selectToolkitFont(measure, font);
    }
    selectToolkitFont(cr, font);
}

CCairoContext::~CCairoContext() {
    if (measure != cr) {
        cairo_destroy(measure);
        cairo_surface_destroy(measureSurface);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
}

void CCairoContext::clipDevice(const CRect& device) {
    cairo_reset_clip(cr);
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    cairo_identity_matrix(cr);
    cairo_rectangle(cr, device.left, device.top, device.width(), device.height());
    cairo_clip(cr);
    cairo_set_matrix(cr, &m);
}

void CCairoContext::setClipRect(const CRect& r) {
    CRect device = deviceClip(r, bounds());
    clip = layoutRect(device, scale);
    clipDevice(device);
}

void CCairoContext::resetClipRect() {
    CRect device = fullDeviceClip(bounds());
    clip = layoutRect(device, scale);
    if (device == bounds())
        cairo_reset_clip(cr);
    else
        clipDevice(device);
}

void CCairoContext::setFont(const CFontDesc& f) {
    font = f;
    selectToolkitFont(cr, font);
    if (measure != cr)
        selectToolkitFont(measure, font);
}

void CCairoContext::setSource(CColor c) {
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0 * globalAlpha);
}

void CCairoContext::fillRect(const CRect& r) {
    setSource(fillColor);
    cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
    cairo_fill(cr);
}

void CCairoContext::frameRect(const CRect& r) {
    setSource(frameColor);
    cairo_set_line_width(cr, lineWidth);
    double inset = lineWidth / 2.0;
    cairo_rectangle(cr, r.left + inset, r.top + inset, r.width() - lineWidth, r.height() - lineWidth);
    cairo_stroke(cr);
}

void CCairoContext::drawLine(CPoint from, CPoint to) {
    setSource(frameColor);
    cairo_set_line_width(cr, lineWidth);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    // Pixel centres, so one-pixel lines stay crisp.
    double half = (lineWidth % 2) ? 0.5 : 0.0;
    cairo_move_to(cr, from.x + half, from.y + half);
    cairo_line_to(cr, to.x + half, to.y + half);
    cairo_stroke(cr);
}

void CCairoContext::fillPolygon(const CPoint* points, int count) {
    if (count < 3)
        return;
    setSource(fillColor);
    cairo_move_to(cr, points[0].x, points[0].y);
    for (int i = 1; i < count; ++i) cairo_line_to(cr, points[i].x, points[i].y);
    cairo_close_path(cr);
    cairo_fill(cr);
}

int CCairoContext::getStringWidth(const std::string& text) {
    cairo_text_extents_t extents;
    cairo_text_extents(measure, validUtf8(text).c_str(), &extents);
    return int(std::lround(extents.x_advance));
}

void CCairoContext::drawString(const std::string& text, const CRect& r, CHoriTxtAlign align) {
    if (text.empty())
        return;
    cairo_font_extents_t fe;
    cairo_font_extents(measure, &fe);
    int width = getStringWidth(text);
    int x = r.left;
    if (align == kCenterText)
        x = r.left + (r.width() - width) / 2;
    if (align == kRightText)
        x = r.right - width;
    int baseline = r.top + int(std::lround((r.height() + fe.ascent - fe.descent) / 2.0));
    cairo_save(cr);
    cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
    cairo_clip(cr);
    setSource(fontColor);
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, validUtf8(text).c_str());
    cairo_restore(cr);
}

void CCairoContext::drawBitmap(const CBitmap& bitmap, const CRect& dest, CPoint source, int alpha) {
    if (alpha <= 0 || dest.isEmpty())
        return;
    double factor = 1.0;
    const CBitmap& image = scale == 1.0 && bitmap.getDensity() == 1.0 ? bitmap : renditionOf(bitmap, factor);
    // Only the rows that `dest` shows, so that filtering never reaches into a film strip's
    // neighbouring frames: its edges are extended instead.
    int firstRow = std::clamp(int(std::lround(source.y * factor)), 0, image.getHeight());
    int lastRow = std::clamp(int(std::lround((source.y + dest.height()) * factor)), firstRow, image.getHeight());
    const bool plain = scale == 1.0 && factor == 1.0;
    if (plain) {
        firstRow = 0;
        lastRow = image.getHeight();
    }
    if (lastRow <= firstRow || image.getWidth() <= 0)
        return;
    // Cairo only reads the source pixels here.
    auto* bits = reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image.pixels())) +
                 std::size_t(firstRow) * std::size_t(image.getWidth()) * 4;
    cairo_surface_t* src = cairo_image_surface_create_for_data(bits, CAIRO_FORMAT_ARGB32, image.getWidth(),
                                                               lastRow - firstRow, image.getWidth() * 4);
    cairo_save(cr);
    cairo_rectangle(cr, dest.left, dest.top, dest.width(), dest.height());
    cairo_clip(cr);
    cairo_set_source_surface(cr, src, dest.left - source.x, dest.top - source.y);
    cairo_pattern_t* pattern = cairo_get_source(cr);
    if (plain) {
        cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    } else {
        cairo_matrix_t m;
        cairo_matrix_init_scale(&m, factor, factor);
        cairo_matrix_translate(&m, -(dest.left - source.x), -(dest.top - source.y) - double(firstRow) / factor);
        cairo_pattern_set_matrix(pattern, &m);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
        // A rendition of exactly this scale is copied pixel for pixel; any other is filtered
        // down (or a plain image up) with a good filter.
        cairo_pattern_set_filter(pattern, factor == scale ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    }
    cairo_paint_with_alpha(cr, std::min(alpha, 255) / 255.0 * globalAlpha);
    cairo_restore(cr);
    cairo_surface_destroy(src);
}
