#include "toolkit/draw/GdiplusContext.h"

#include <cmath>
#include <mutex>
#include <vector>

#include "resources/ResourceTable.h"

namespace {

// The linked faces live as long as the process: GDI+ keeps reading the memory they were added from.
Gdiplus::PrivateFontCollection* linkedFonts() {
    static Gdiplus::PrivateFontCollection* fonts = [] {
        auto* collection = new Gdiplus::PrivateFontCollection();
        for (int number : {kResourceFontRegular, kResourceFontBold}) {
            const unsigned char* bytes = nullptr;
            std::size_t size = 0;
            if (findResource(number, "TTF", &bytes, &size))
                collection->AddMemoryFont(bytes, INT(size));
        }
        return collection;
    }();
    return fonts;
}

// Names may hold any bytes: UTF-8 where it is valid, Latin-1 otherwise, as the Cairo backend reads them.
std::wstring wideText(const std::string& text) {
    std::wstring out;
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        bool ok = extra >= 0 && c != 0xC0 && c != 0xC1;
        unsigned long code = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; ok && k <= extra; ++k) {
            ok = i + std::size_t(k) < text.size() &&
                 (static_cast<unsigned char>(text[i + std::size_t(k)]) >> 6) == 2;
            if (ok)
                code = (code << 6) | (static_cast<unsigned char>(text[i + std::size_t(k)]) & 0x3F);
        }
        if (!ok) {
            out.push_back(wchar_t(c));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(wchar_t(0xD800 + (code >> 10)));
            out.push_back(wchar_t(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(wchar_t(code));
        }
        i += std::size_t(extra) + 1;
    }
    return out;
}

Gdiplus::StringFormat& typographic() {
    static Gdiplus::StringFormat* format = [] {
        auto* f = Gdiplus::StringFormat::GenericTypographic()->Clone();
        f->SetFormatFlags(f->GetFormatFlags() | Gdiplus::StringFormatFlagsMeasureTrailingSpaces |
                          Gdiplus::StringFormatFlagsNoWrap);
        return f;
    }();
    return *format;
}

}  // namespace

bool ensureGdiplus() {
    static bool started = [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

std::unique_ptr<CDrawContext> createBitmapContext(CBitmap& target, double scale) {
    return std::make_unique<CGdiplusContext>(target, scale);
}

CGdiplusContext::CGdiplusContext(CBitmap& t, double s)
    : CDrawContext(s), target(t), clip(layoutRect(bounds(), scale)), deviceClip_(bounds()) {
    ensureGdiplus();
    surface = std::make_unique<Gdiplus::Bitmap>(std::max(t.getWidth(), 1), std::max(t.getHeight(), 1),
                                                t.getWidth() * 4, PixelFormat32bppPARGB,
                                                reinterpret_cast<BYTE*>(t.pixels()));
    graphics = std::make_unique<Gdiplus::Graphics>(surface.get());
    // Pixel centres at .5 and antialiased edges, as the Cairo backend draws.
    graphics->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    graphics->SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    graphics->SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    graphics->SetCompositingMode(Gdiplus::CompositingModeSourceOver);
    graphics->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    if (scale != 1.0) {
        graphics->ScaleTransform(Gdiplus::REAL(scale), Gdiplus::REAL(scale));
        measureSurface = std::make_unique<Gdiplus::Bitmap>(1, 1, PixelFormat32bppPARGB);
        measureGraphics = std::make_unique<Gdiplus::Graphics>(measureSurface.get());
        measureGraphics->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    }
    setFont(font);
}

CGdiplusContext::~CGdiplusContext() {
    graphics->Flush(Gdiplus::FlushIntentionSync);
    graphics.reset();
    surface.reset();
}

Gdiplus::Color CGdiplusContext::colorOf(CColor c) const {
    auto alpha = BYTE(std::lround(c.alpha * globalAlpha));
    return Gdiplus::Color(alpha, c.red, c.green, c.blue);
}

void CGdiplusContext::applyClip(const CRect& r) {
    if (scale == 1.0) {
        graphics->SetClip(Gdiplus::Rect(r.left, r.top, r.width(), r.height()), Gdiplus::CombineModeReplace);
        return;
    }
    Gdiplus::Matrix transform;
    graphics->GetTransform(&transform);
    graphics->ResetTransform();
    graphics->SetClip(Gdiplus::Rect(r.left, r.top, r.width(), r.height()), Gdiplus::CombineModeReplace);
    graphics->SetTransform(&transform);
}

void CGdiplusContext::setClipRect(const CRect& r) {
    deviceClip_ = deviceClip(r, bounds());
    clip = layoutRect(deviceClip_, scale);
    applyClip(deviceClip_);
}

void CGdiplusContext::resetClipRect() {
    deviceClip_ = fullDeviceClip(bounds());
    clip = layoutRect(deviceClip_, scale);
    if (deviceClip_ == bounds())
        graphics->ResetClip();
    else
        applyClip(deviceClip_);
}

void CGdiplusContext::setFont(const CFontDesc& f) {
    font = f;
    Gdiplus::PrivateFontCollection* fonts = linkedFonts();
    INT count = fonts->GetFamilyCount();
    if (count > 0) {
        std::vector<Gdiplus::FontFamily> families(static_cast<std::size_t>(count));
        INT found = 0;
        fonts->GetFamilies(count, families.data(), &found);
        gdiFont = std::make_unique<Gdiplus::Font>(
            &families[0], Gdiplus::REAL(font.size),
            font.bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    }
    if (!gdiFont || gdiFont->GetLastStatus() != Gdiplus::Ok) {
        gdiFont = std::make_unique<Gdiplus::Font>(
            L"Arial", Gdiplus::REAL(font.size),
            font.bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    }
}

void CGdiplusContext::fillRect(const CRect& r) {
    if (r.isEmpty())
        return;
    Gdiplus::SolidBrush brush(colorOf(fillColor));
    graphics->FillRectangle(&brush, Gdiplus::Rect(r.left, r.top, r.width(), r.height()));
}

void CGdiplusContext::frameRect(const CRect& r) {
    Gdiplus::Pen pen(colorOf(frameColor), Gdiplus::REAL(lineWidth));
    Gdiplus::REAL inset = lineWidth / 2.0f;
    graphics->DrawRectangle(
        &pen, Gdiplus::RectF(r.left + inset, r.top + inset, Gdiplus::REAL(r.width() - lineWidth),
                             Gdiplus::REAL(r.height() - lineWidth)));
}

void CGdiplusContext::drawLine(CPoint from, CPoint to) {
    Gdiplus::Pen pen(colorOf(frameColor), Gdiplus::REAL(lineWidth));
    pen.SetLineCap(Gdiplus::LineCapSquare, Gdiplus::LineCapSquare, Gdiplus::DashCapFlat);
    // Pixel centres, so one-pixel lines stay crisp.
    Gdiplus::REAL half = (lineWidth % 2) ? 0.5f : 0.0f;
    graphics->DrawLine(&pen, from.x + half, from.y + half, to.x + half, to.y + half);
}

void CGdiplusContext::fillPolygon(const CPoint* points, int count) {
    if (count < 3)
        return;
    std::vector<Gdiplus::PointF> corners;
    for (int i = 0; i < count; ++i)
        corners.emplace_back(Gdiplus::REAL(points[i].x), Gdiplus::REAL(points[i].y));
    Gdiplus::SolidBrush brush(colorOf(fillColor));
    graphics->FillPolygon(&brush, corners.data(), count, Gdiplus::FillModeWinding);
}

int CGdiplusContext::getStringWidth(const std::string& text) {
    if (text.empty())
        return 0;
    std::wstring wide = wideText(text);
    Gdiplus::RectF box;
    Gdiplus::Graphics* measure = measureGraphics ? measureGraphics.get() : graphics.get();
    measure->MeasureString(wide.c_str(), INT(wide.size()), gdiFont.get(), Gdiplus::PointF(0, 0),
                            &typographic(), &box);
    return int(std::lround(box.Width));
}

void CGdiplusContext::drawString(const std::string& text, const CRect& r, CHoriTxtAlign align) {
    if (text.empty())
        return;
    Gdiplus::FontFamily family;
    gdiFont->GetFamily(&family);
    INT style = gdiFont->GetStyle();
    double em = family.GetEmHeight(style);
    double ascent = font.size * family.GetCellAscent(style) / em;
    double descent = font.size * family.GetCellDescent(style) / em;
    int width = getStringWidth(text);
    int x = r.left;
    if (align == kCenterText)
        x = r.left + (r.width() - width) / 2;
    if (align == kRightText)
        x = r.right - width;
    int baseline = r.top + int(std::lround((r.height() + ascent - descent) / 2.0));
    applyClip(deviceClip_.intersect(deviceRect(r, scale)));
    std::wstring wide = wideText(text);
    Gdiplus::SolidBrush brush(colorOf(fontColor));
    graphics->DrawString(wide.c_str(), INT(wide.size()), gdiFont.get(),
                         Gdiplus::PointF(Gdiplus::REAL(x), Gdiplus::REAL(baseline - ascent)), &typographic(),
                         &brush);
    applyClip(deviceClip_);
}

void CGdiplusContext::drawBitmap(const CBitmap& bitmap, const CRect& dest, CPoint source, int alpha) {
    if (alpha <= 0 || dest.isEmpty() || bitmap.getWidth() <= 0 || bitmap.getHeight() <= 0)
        return;
    // Source rectangle clipped to the image, as Cairo paints nothing outside its source.
    CRect src(source.x, source.y, source.x + dest.width(), source.y + dest.height());
    const double density = bitmap.getDensity();
    CRect inside = src.intersect(CRect(0, 0, int(std::lround(bitmap.getWidth() / density)),
                                       int(std::lround(bitmap.getHeight() / density))));
    if (inside.isEmpty())
        return;
    double factor = 1.0;
    const CBitmap& image = scale == 1.0 && bitmap.getDensity() == 1.0 ? bitmap : renditionOf(bitmap, factor);
    // Only the rows shown, so that filtering never reaches into a film strip's next frame.
    const int firstRow = std::min(int(std::lround(inside.top * factor)), image.getHeight());
    const int rows = std::min(int(std::lround(inside.height() * factor)), image.getHeight() - firstRow);
    if (rows <= 0)
        return;
    // GDI+ only reads the source pixels here.
    Gdiplus::Bitmap part(image.getWidth(), rows, image.getWidth() * 4, PixelFormat32bppPARGB,
                         reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(image.pixels()) +
                                                 std::size_t(firstRow) * std::size_t(image.getWidth())));
    float opacity = std::min(alpha, 255) / 255.0f * globalAlpha;
    applyClip(deviceClip_.intersect(deviceRect(dest, scale)));
    Gdiplus::ImageAttributes attributes;
    if (opacity < 1.0f) {
        Gdiplus::ColorMatrix matrix = {
            {{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, opacity, 0}, {0, 0, 0, 0, 1}}};
        attributes.SetColorMatrix(&matrix);
    }
    if (scale == 1.0 && factor == 1.0) {
        Gdiplus::Rect to(dest.left + inside.left - src.left, dest.top + inside.top - src.top, inside.width(),
                         inside.height());
        graphics->DrawImage(&part, to, inside.left, 0, inside.width(), inside.height(), Gdiplus::UnitPixel,
                            opacity < 1.0f ? &attributes : nullptr);
    } else {
        // A rendition of exactly this scale is copied pixel for pixel; any other is filtered.
        graphics->SetInterpolationMode(factor == scale ? Gdiplus::InterpolationModeNearestNeighbor
                                                               : Gdiplus::InterpolationModeHighQualityBicubic);
        attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
        Gdiplus::RectF to(Gdiplus::REAL(dest.left + inside.left - src.left),
                          Gdiplus::REAL(dest.top + inside.top - src.top), Gdiplus::REAL(inside.width()),
                          Gdiplus::REAL(inside.height()));
        graphics->DrawImage(&part, to, Gdiplus::REAL(inside.left * factor), 0,
                            Gdiplus::REAL(inside.width() * factor),
                            Gdiplus::REAL(rows), Gdiplus::UnitPixel, &attributes);
        graphics->SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    }
    applyClip(deviceClip_);
}
