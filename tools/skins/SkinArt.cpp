// Draws every skin image of the editor and writes them as resources/skins/<number>.png, and the
// same drawings at two and three times the resolution as resources/skins/2x and 3x, for editors
// shown at a larger scale. Run through the build target `make_skins`; the PNGs are committed, so
// builds never need it.
//
// One look throughout: pale cyan lettering on deep blue-grey panels, controls seated in darker
// wells that match their rectangles exactly, orange for the selection, red for clipping.
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "toolkit/draw/CairoContext.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    double r, g, b;
};
Rgb rgb(int r, int g, int b) {
    return {r / 255.0, g / 255.0, b / 255.0};
}

const Rgb kDeep = rgb(24, 33, 44);        // window background
const Rgb kPanel = rgb(33, 46, 60);       // panel face
const Rgb kPanelEdge = rgb(62, 86, 108);  // panel border
const Rgb kWell = rgb(15, 21, 29);        // seats of controls
const Rgb kCaption = rgb(194, 224, 226);  // the editor's text colour
const Rgb kDim = rgb(120, 154, 170);      // secondary labels
const Rgb kAccent = rgb(92, 200, 222);    // value arcs
const Rgb kOrange = rgb(255, 150, 40);
const Rgb kFigure = rgb(194, 224, 226);

void set(cairo_t* cr, Rgb c, double a = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, a);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 1.5 * kPi);
    cairo_close_path(cr);
}

void font(cairo_t* cr, int size, bool bold) {
    selectToolkitFont(cr, {"Arial", size, bold});
}

double textWidth(cairo_t* cr, const std::string& s) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    return e.x_advance;
}

// Text centred on cx with its baseline at y.
void centred(cairo_t* cr, const std::string& s, double cx, double y, Rgb c, double a = 1.0) {
    set(cr, c, a);
    cairo_move_to(cr, std::round(cx - textWidth(cr, s) / 2), y);
    cairo_show_text(cr, s.c_str());
}

void left(cairo_t* cr, const std::string& s, double x, double y, Rgb c) {
    set(cr, c);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, s.c_str());
}

// The factor every image is drawn at: 1, 2 or 3 device pixels per pixel of the layout.
int gScale = 1;

bool save(cairo_surface_t* s, const std::string& dir, int number) {
    std::string path = dir + "/" + std::to_string(number) + ".png";
    cairo_surface_flush(s);
    bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    std::printf("%s %dx%d%s\n", path.c_str(), cairo_image_surface_get_width(s),
                cairo_image_surface_get_height(s), ok ? "" : " FAILED");
    return ok;
}

// Makes an image of w x h layout pixels at the current factor, lets `paint` draw it in layout
// coordinates, writes it.
bool image(const std::string& dir, int number, int w, int h, const std::function<void(cairo_t*)>& paint) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w * gScale, h * gScale);
    cairo_t* cr = cairo_create(s);
    if (gScale != 1)
        cairo_scale(cr, gScale, gScale);
    paint(cr);
    cairo_destroy(cr);
    bool ok = save(s, dir, number);
    cairo_surface_destroy(s);
    return ok;
}

// Frames stacked vertically; `paint` draws frame i in its own coordinates.
bool strip(const std::string& dir, int number, int w, int h, int frames,
           const std::function<void(cairo_t*, int)>& paint) {
    return image(dir, number, w, h * frames, [&](cairo_t* cr) {
        for (int i = 0; i < frames; ++i) {
            cairo_save(cr);
            cairo_rectangle(cr, 0, i * h, w, h);
            cairo_clip(cr);
            cairo_translate(cr, 0, i * h);
            paint(cr, i);
            cairo_restore(cr);
        }
    });
}

// ---------------------------------------------------------------- knobs

void knobFrame(cairo_t* cr, int size, double value) {
    double c = size / 2.0;
    double rOuter = c - 1.0;
    double rArc = c - 2.5;
    double rBody = c - 5.5;
    double a0 = 0.75 * kPi;  // minimum at lower left, maximum at lower right, clockwise
    double a1 = a0 + value * 1.5 * kPi;

    // Track of the value arc.
    cairo_set_line_width(cr, 2.5);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    set(cr, kWell);
    cairo_arc(cr, c, c, rArc, a0, a0 + 1.5 * kPi);
    cairo_stroke(cr);
    set(cr, rgb(50, 68, 86));
    cairo_set_line_width(cr, 1.0);
    cairo_arc(cr, c, c, rOuter, a0, a0 + 1.5 * kPi);
    cairo_stroke(cr);
    if (value > 0.0) {
        cairo_set_line_width(cr, 2.5);
        set(cr, kAccent);
        cairo_arc(cr, c, c, rArc, a0, a1);
        cairo_stroke(cr);
    }

    // Body: a lit dome.
    cairo_pattern_t* body = cairo_pattern_create_radial(c - rBody * 0.4, c - rBody * 0.5, 1, c, c, rBody);
    cairo_pattern_add_color_stop_rgb(body, 0, 0.40, 0.48, 0.56);
    cairo_pattern_add_color_stop_rgb(body, 1, 0.14, 0.18, 0.23);
    cairo_set_source(cr, body);
    cairo_arc(cr, c, c, rBody, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(body);
    set(cr, rgb(8, 12, 16), 0.9);
    cairo_set_line_width(cr, 1.0);
    cairo_arc(cr, c, c, rBody, 0, 2 * kPi);
    cairo_stroke(cr);

    // Pointer from near the centre to the rim.
    double px = std::cos(a1), py = std::sin(a1);
    cairo_set_line_width(cr, size >= 34 ? 2.5 : 2.0);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    set(cr, rgb(235, 250, 252));
    cairo_move_to(cr, c + px * rBody * 0.25, c + py * rBody * 0.25);
    cairo_line_to(cr, c + px * (rBody - 1.5), c + py * (rBody - 1.5));
    cairo_stroke(cr);
}

// ---------------------------------------------------------------- buttons

// A small lit-or-unlit push button face with a label or a symbol.
void buttonFace(cairo_t* cr, int w, int h, bool down, Rgb lit) {
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, 3);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, h);
    if (down) {
        cairo_pattern_add_color_stop_rgb(p, 0, lit.r * 0.55, lit.g * 0.55, lit.b * 0.55);
        cairo_pattern_add_color_stop_rgb(p, 1, lit.r * 0.8, lit.g * 0.8, lit.b * 0.8);
    } else {
        cairo_pattern_add_color_stop_rgb(p, 0, 0.29, 0.36, 0.44);
        cairo_pattern_add_color_stop_rgb(p, 1, 0.16, 0.21, 0.27);
    }
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    set(cr, down ? rgb(10, 14, 18) : rgb(88, 116, 138));
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
}

void labelButton(const std::string& dir, int number, int w, int h, const std::string& up,
                 const std::string& down, Rgb lit) {
    strip(dir, number, w, h, 2, [&](cairo_t* cr, int i) {
        buttonFace(cr, w, h, i == 1, lit);
        font(cr, 10, true);
        centred(cr, i == 0 ? up : down, w / 2.0, h / 2.0 + 3.5, i == 1 ? rgb(255, 255, 255) : kCaption);
    });
}

void symbolButton(const std::string& dir, int number, int w, int h,
                  const std::function<void(cairo_t*)>& symbol) {
    strip(dir, number, w, h, 2, [&](cairo_t* cr, int i) {
        buttonFace(cr, w, h, i == 1, kAccent);
        set(cr, i == 1 ? rgb(255, 255, 255) : kCaption);
        cairo_translate(cr, w / 2.0, h / 2.0);
        symbol(cr);
    });
}

// ---------------------------------------------------------------- the window background

struct Panel {
    double x, y, w, h;
    const char* caption;
};

void panel(cairo_t* cr, const Panel& p) {
    roundedRect(cr, p.x + 0.5, p.y + 0.5, p.w - 1, p.h - 1, 5);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, p.y, 0, p.y + p.h);
    cairo_pattern_add_color_stop_rgb(g, 0, kPanel.r * 1.12, kPanel.g * 1.12, kPanel.b * 1.12);
    cairo_pattern_add_color_stop_rgb(g, 1, kPanel.r * 0.92, kPanel.g * 0.92, kPanel.b * 0.92);
    cairo_set_source(cr, g);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(g);
    set(cr, kPanelEdge);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    if (p.caption && *p.caption) {
        font(cr, 10, true);
        left(cr, p.caption, p.x + 7, p.y + 13, kCaption);
    }
}

// A seat exactly as large as the control's rectangle (x0, y0, x1, y1).
void well(cairo_t* cr, int x0, int y0, int x1, int y1, bool round) {
    if (round) {
        double cx = (x0 + x1) / 2.0, cy = (y0 + y1) / 2.0, r = (x1 - x0) / 2.0;
        set(cr, kWell);
        cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
        cairo_fill(cr);
        set(cr, rgb(70, 96, 118), 0.6);
        cairo_set_line_width(cr, 1.0);
        cairo_arc(cr, cx, cy, r - 0.5, 0.1 * kPi, 0.9 * kPi);  // light from above: rim lit below
        cairo_stroke(cr);
    } else {
        set(cr, kWell);
        cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
        cairo_fill(cr);
        set(cr, rgb(70, 96, 118), 0.7);
        cairo_set_line_width(cr, 1.0);
        cairo_move_to(cr, x0 + 0.5, y1 - 0.5);
        cairo_line_to(cr, x1 - 0.5, y1 - 0.5);
        cairo_line_to(cr, x1 - 0.5, y0 + 0.5);
        cairo_stroke(cr);
    }
}

// A small label centred under a knob whose rectangle spans x0..x1 and ends at y1.
void under(cairo_t* cr, const char* text, int x0, int x1, int y1) {
    font(cr, 9, false);
    centred(cr, text, (x0 + x1) / 2.0, y1 + 11, kDim);
}

void subCaption(cairo_t* cr, const char* text, double x, double y, double lineTo) {
    font(cr, 9, true);
    left(cr, text, x, y, kCaption);
    double w = textWidth(cr, text);
    set(cr, kPanelEdge);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, x + w + 5, y - 3.5);
    cairo_line_to(cr, lineTo, y - 3.5);
    cairo_stroke(cr);
}

void background(cairo_t* cr) {
    // Deep blue-grey with a faint vertical sheen.
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, 432);
    cairo_pattern_add_color_stop_rgb(g, 0, kDeep.r * 1.1, kDeep.g * 1.1, kDeep.b * 1.1);
    cairo_pattern_add_color_stop_rgb(g, 1, kDeep.r * 0.85, kDeep.g * 0.85, kDeep.b * 0.85);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);

    // The crowd display's frame (the display itself covers 2..342 x 2..274).
    set(cr, kPanelEdge);
    cairo_rectangle(cr, 1.5, 1.5, 341, 273);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    set(cr, kWell);
    cairo_rectangle(cr, 2, 2, 340, 272);
    cairo_fill(cr);

    panel(cr, {346, 2, 167, 273, "INDIVIDUAL"});
    panel(cr, {517, 2, 101, 273, "REVERB"});
    panel(cr, {2, 278, 88, 44, "POPULATION"});
    panel(cr, {93, 278, 199, 44, "DISPLAY"});
    panel(cr, {2, 325, 290, 72, "RANDOMISER"});
    panel(cr, {296, 278, 125, 119, "EVERYBODY"});
    panel(cr, {425, 278, 193, 119, "OUTPUT"});

    // Individual: selection row, then spectra, time, pan and gain.
    well(cr, 387, 40, 420, 57, false);  // solo
    well(cr, 425, 38, 449, 59, false);  // selected person
    well(cr, 448, 40, 497, 57, false);  // minus, plus
    font(cr, 9, false);
    left(cr, "person", 455, 70, kDim);
    left(cr, "solo", 393, 70, kDim);
    subCaption(cr, "SPECTRA", 354, 80, 505);
    well(cr, 367, 84, 403, 120, true);
    well(cr, 423, 84, 459, 120, true);
    well(cr, 465, 84, 501, 120, true);
    under(cr, "shift", 367, 403, 120);
    under(cr, "depth", 423, 459, 120);
    under(cr, "rate", 465, 501, 120);
    subCaption(cr, "TIME", 354, 148, 505);
    well(cr, 367, 152, 403, 188, true);
    well(cr, 423, 152, 459, 188, true);
    well(cr, 465, 152, 501, 188, true);
    under(cr, "delay", 367, 403, 188);
    under(cr, "depth", 423, 459, 188);
    under(cr, "rate", 465, 501, 188);
    subCaption(cr, "PAN", 354, 214, 405);
    subCaption(cr, "GAIN", 420, 214, 505);
    well(cr, 363, 220, 399, 256, true);
    well(cr, 427, 220, 463, 256, true);
    under(cr, "left - right", 351, 411, 256);
    under(cr, "level", 427, 463, 256);

    // Reverb.
    well(cr, 529, 45, 563, 79, true);
    well(cr, 571, 45, 605, 79, true);
    under(cr, "gain", 529, 563, 79);
    under(cr, "size", 571, 605, 79);
    well(cr, 529, 137, 563, 171, true);
    well(cr, 571, 137, 605, 171, true);
    under(cr, "high cut", 525, 567, 171);
    under(cr, "low cut", 567, 609, 171);
    set(cr, kPanelEdge);
    cairo_move_to(cr, 525, 112.5);
    cairo_line_to(cr, 610, 112.5);
    cairo_stroke(cr);
    font(cr, 9, true);
    centred(cr, "ROOM", 567, 32, kDim);
    centred(cr, "TONE", 567, 128, kDim);

    // Population and display axis.
    well(cr, 13, 296, 36, 315, false);
    well(cr, 35, 297, 85, 314, false);
    well(cr, 93 + 0, 299, 271, 313, false);

    // Randomiser.
    well(cr, 18, 345, 80, 362, false);
    well(cr, 98, 345, 170, 362, false);
    well(cr, 191, 342, 219, 370, true);
    well(cr, 235, 342, 263, 370, true);
    under(cr, "lower", 185, 225, 370);
    under(cr, "upper", 229, 269, 370);
    well(cr, 20, 369, 168, 384, false);

    // Everybody.
    well(cr, 308, 319, 344, 355, true);
    well(cr, 375, 319, 411, 355, true);
    under(cr, "Spread", 300, 352, 355);
    under(cr, "Shift All", 365, 421, 355);

    // Output.
    well(cr, 459, 329, 482, 345, false);
    well(cr, 503, 319, 537, 353, true);
    well(cr, 565, 319, 599, 353, true);
    well(cr, 545, 332, 557, 344, true);
    under(cr, "active", 450, 491, 345);
    under(cr, "wet", 503, 537, 353);
    under(cr, "dry", 565, 599, 353);
    under(cr, "clip", 536, 566, 344);

    // Footer: the preset strip, help, the product name and the web page.
    set(cr, kPanelEdge);
    cairo_move_to(cr, 2, 400.5);
    cairo_line_to(cr, 618, 400.5);
    cairo_stroke(cr);
    // The preset menus draw nothing: this label is what the user clicks.
    roundedRect(cr, 11.5, 404.5, 64, 16, 3);
    set(cr, kPanel);
    cairo_fill_preserve(cr);
    set(cr, kPanelEdge);
    cairo_stroke(cr);
    font(cr, 10, true);
    left(cr, "PRESETS", 16, 416.5, kCaption);
    set(cr, kCaption);
    cairo_move_to(cr, 66, 411);
    cairo_line_to(cr, 72, 411);
    cairo_line_to(cr, 69, 415);
    cairo_close_path(cr);
    cairo_fill(cr);
    well(cr, 80, 404, 116, 421, false);
    well(cr, 122, 405, 278, 420, false);
    well(cr, 296, 404, 352, 421, false);

    font(cr, 16, true);
    left(cr, "ZORNBECK", 378, 420, kCaption);
    double nameEnd = 378 + textWidth(cr, "ZORNBECK");
    font(cr, 9, false);
    left(cr, "crowd", nameEnd + 5, 420, kDim);
    font(cr, 9, false);
    centred(cr, "www.zornbeck.example", 565, 421, kAccent);
}

// ---------------------------------------------------------------- crowd display

void crowdBackground(cairo_t* cr) {
    cairo_pattern_t* g = cairo_pattern_create_radial(170, 136, 10, 170, 136, 230);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.07, 0.11, 0.15);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.03, 0.05, 0.07);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);
    // The usable field is inset 4 pixels; a grid of eighths over it.
    cairo_set_line_width(cr, 1.0);
    for (int i = 0; i <= 8; ++i) {
        double x = std::round(4 + i * 332.0 / 8) + 0.5;
        double y = std::round(4 + i * 264.0 / 8) + 0.5;
        double a = (i == 4) ? 0.55 : (i == 0 || i == 8) ? 0.45 : 0.22;
        set(cr, rgb(70, 120, 150), a);
        cairo_move_to(cr, x, 4);
        cairo_line_to(cr, x, 268);
        cairo_stroke(cr);
        cairo_move_to(cr, 4, y);
        cairo_line_to(cr, 336, y);
        cairo_stroke(cr);
    }
}

// Figure frame i: 0 at rest; 1-3 wave their arms (the selected person).
void figure(cairo_t* cr, int frame) {
    Rgb body = frame == 0 ? kFigure : rgb(255, 214, 150);
    double cx = 11.5;
    set(cr, rgb(0, 0, 0), 0.45);  // shadow
    cairo_save(cr);
    cairo_translate(cr, cx, 17.5);
    cairo_scale(cr, 5, 1.3);
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_restore(cr);
    cairo_fill(cr);
    set(cr, body);
    cairo_arc(cr, cx, 3.5, 2.6, 0, 2 * kPi);  // head
    cairo_fill(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 2.4);
    cairo_move_to(cr, cx, 7);  // trunk
    cairo_line_to(cr, cx, 12);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 1.8);
    cairo_move_to(cr, cx, 12);  // legs
    cairo_line_to(cr, cx - 3, 17);
    cairo_move_to(cr, cx, 12);
    cairo_line_to(cr, cx + 3, 17);
    cairo_stroke(cr);
    // Arms: down at rest, then raised further in each animation frame.
    const double lift[4] = {0.0, 0.5, 1.0, 1.5};
    double a = lift[frame];
    double lx = -4.5 * std::cos(a * 0.9), ly = 4.0 - 6.0 * a;
    cairo_move_to(cr, cx, 8);
    cairo_line_to(cr, cx + lx - 1.0, 8 + std::max(ly, -4.5));
    cairo_move_to(cr, cx, 8);
    cairo_line_to(cr, cx - lx + 1.0, 8 + std::max(frame == 2 ? ly * 0.3 : ly, -4.5));
    cairo_stroke(cr);
}

void axisLabel(cairo_t* cr, const std::string& word, int w, int h, bool vertical) {
    if (vertical) {  // written upwards, the arrow at the top
        cairo_translate(cr, 0, h);
        cairo_rotate(cr, -kPi / 2);
        std::swap(w, h);
    }
    font(cr, 10, true);
    left(cr, word, 1, 10, kCaption);
    double end = w - 1.5;
    double start = textWidth(cr, word) + 4;
    set(cr, kCaption);
    cairo_set_line_width(cr, 1.2);
    cairo_move_to(cr, start, 6.5);
    cairo_line_to(cr, end - 3, 6.5);
    cairo_stroke(cr);
    cairo_move_to(cr, end, 6.5);
    cairo_line_to(cr, end - 5, 3);
    cairo_line_to(cr, end - 5, 10);
    cairo_close_path(cr);
    cairo_fill(cr);
}

// A scroll-bar arrow button of the help pane.
void scrollArrow(cairo_t* cr, bool up) {
    roundedRect(cr, 0.5, 0.5, 16, 28, 3);
    set(cr, rgb(49, 82, 112));
    cairo_fill_preserve(cr);
    set(cr, rgb(153, 179, 212));
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    set(cr, rgb(215, 255, 255));
    if (up) {
        cairo_move_to(cr, 8.5, 9);
        cairo_line_to(cr, 13.5, 18);
        cairo_line_to(cr, 3.5, 18);
    } else {
        cairo_move_to(cr, 8.5, 20);
        cairo_line_to(cr, 13.5, 11);
        cairo_line_to(cr, 3.5, 11);
    }
    cairo_close_path(cr);
    cairo_fill(cr);
}

// Every image of the editor into `dir`, at the current factor.
bool drawAll(const std::string& dir) {
    bool ok = true;
    ok &= image(dir, 118, 620, 432, background);
    ok &= image(dir, 129, 340, 272, crowdBackground);
    ok &= strip(dir, 130, 23, 19, 4, figure);
    ok &= image(dir, 131, 36, 36, [](cairo_t* cr) {
        set(cr, kOrange, 0.35);
        cairo_set_line_width(cr, 5.0);
        cairo_arc(cr, 18, 18, 14.5, 0, 2 * kPi);
        cairo_stroke(cr);
        set(cr, kOrange);
        cairo_set_line_width(cr, 2.2);
        cairo_arc(cr, 18, 18, 14.5, 0, 2 * kPi);
        cairo_stroke(cr);
    });
    ok &= image(dir, 137, 42, 13, [](cairo_t* cr) { axisLabel(cr, "pan", 42, 13, false); });
    ok &= image(dir, 134, 50, 13, [](cairo_t* cr) { axisLabel(cr, "time", 50, 13, false); });
    ok &= image(dir, 136, 15, 76, [](cairo_t* cr) { axisLabel(cr, "spectra", 15, 76, true); });
    ok &= image(dir, 135, 13, 50, [](cairo_t* cr) { axisLabel(cr, "time", 13, 50, true); });
    ok &= image(dir, 145, 17, 29, [](cairo_t* cr) { scrollArrow(cr, true); });
    ok &= image(dir, 144, 17, 29, [](cairo_t* cr) { scrollArrow(cr, false); });

    ok &= strip(dir, 119, 36, 36, 65, [](cairo_t* cr, int i) { knobFrame(cr, 36, i / 64.0); });
    ok &= strip(dir, 147, 34, 34, 65, [](cairo_t* cr, int i) { knobFrame(cr, 34, i / 64.0); });
    ok &= strip(dir, 126, 28, 28, 65, [](cairo_t* cr, int i) { knobFrame(cr, 28, i / 64.0); });

    auto bar = [](cairo_t* cr) {
        cairo_rectangle(cr, -4.5, -1, 9, 2);
        cairo_fill(cr);
    };
    symbolButton(dir, 120, 25, 17, [&](cairo_t* cr) {
        bar(cr);
        cairo_rectangle(cr, -1, -4.5, 2, 9);
        cairo_fill(cr);
    });
    symbolButton(dir, 121, 25, 17, bar);
    labelButton(dir, 127, 72, 17, "randomise", "randomise", kOrange);
    labelButton(dir, 128, 62, 17, "individual", "all", kAccent);
    labelButton(dir, 125, 33, 17, "solo", "solo", kOrange);
    labelButton(dir, 141, 56, 17, "help", "help", kAccent);
    ok &= strip(dir, 123, 23, 16, 2, [](cairo_t* cr, int i) {  // Active: dark when off, green when on
        buttonFace(cr, 23, 16, false, kAccent);
        cairo_pattern_t* p = cairo_pattern_create_radial(10.5, 6.5, 0.5, 11.5, 8, 5);
        if (i == 1) {
            cairo_pattern_add_color_stop_rgb(p, 0, 0.75, 1.0, 0.7);
            cairo_pattern_add_color_stop_rgb(p, 1, 0.1, 0.6, 0.2);
        } else {
            cairo_pattern_add_color_stop_rgb(p, 0, 0.2, 0.28, 0.22);
            cairo_pattern_add_color_stop_rgb(p, 1, 0.05, 0.1, 0.07);
        }
        cairo_set_source(cr, p);
        cairo_arc(cr, 11.5, 8, 4.5, 0, 2 * kPi);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
    });
    symbolButton(dir, 6, 17, 17, [](cairo_t* cr) {
        cairo_move_to(cr, -3, 0);
        cairo_line_to(cr, 2.5, -4);
        cairo_line_to(cr, 2.5, 4);
        cairo_close_path(cr);
        cairo_fill(cr);
    });
    symbolButton(dir, 132, 17, 17, [](cairo_t* cr) {
        cairo_move_to(cr, 3, 0);
        cairo_line_to(cr, -2.5, -4);
        cairo_line_to(cr, -2.5, 4);
        cairo_close_path(cr);
        cairo_fill(cr);
    });
    ok &= image(dir, 146, 12, 12, [](cairo_t* cr) {  // the clip lamp, drawn lit; the editor fades it
        cairo_pattern_t* p = cairo_pattern_create_radial(5, 4.5, 0.5, 6, 6, 6);
        cairo_pattern_add_color_stop_rgba(p, 0, 1.0, 0.85, 0.75, 1.0);
        cairo_pattern_add_color_stop_rgba(p, 0.55, 1.0, 0.12, 0.08, 1.0);
        cairo_pattern_add_color_stop_rgba(p, 1, 0.55, 0.0, 0.0, 0.0);
        cairo_set_source(cr, p);
        cairo_arc(cr, 6, 6, 6, 0, 2 * kPi);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
    });
    return ok;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    bool ok = true;
    for (int scale : {1, 2, 3}) {
        gScale = scale;
        std::string dir = std::string(argv[1]) + (scale == 1 ? "" : "/" + std::to_string(scale) + "x");
        ok &= drawAll(dir);
    }
    return ok ? 0 : 1;
}
