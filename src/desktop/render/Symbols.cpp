#include "desktop/render/Symbols.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "desktop/render/Shapes.h"

namespace meterwright::Symbols {

namespace {

// Every drawing gets its box (w × h points) and the stroke width of the weight, draws in opaque
// black and may cut holes with CLEAR (the image is drawn as a layer of its own).
using Draw = void (*)(cairo_t* cr, double w, double h, double stroke);

struct Symbol {
  std::string_view name;
  // The box in multiples of the point size.
  double width;
  double height;
  Draw draw;
};

void cut(cairo_t* cr) {
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
}

void roundStroke(cairo_t* cr, double stroke) {
  cairo_set_line_width(cr, stroke);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_stroke(cr);
}

void sparkle(cairo_t* cr, double w, double h, double) {
  double cx = w / 2, cy = h / 2, rx = w / 2 * 0.96, ry = h / 2 * 0.96;
  double pinch = 0.16;
  cairo_move_to(cr, cx, cy - ry);
  cairo_curve_to(cr, cx + rx * pinch, cy - ry * pinch, cx + rx * pinch, cy - ry * pinch, cx + rx,
                 cy);
  cairo_curve_to(cr, cx + rx * pinch, cy + ry * pinch, cx + rx * pinch, cy + ry * pinch, cx,
                 cy + ry);
  cairo_curve_to(cr, cx - rx * pinch, cy + ry * pinch, cx - rx * pinch, cy + ry * pinch, cx - rx,
                 cy);
  cairo_curve_to(cr, cx - rx * pinch, cy - ry * pinch, cx - rx * pinch, cy - ry * pinch, cx,
                 cy - ry);
  cairo_close_path(cr);
  cairo_fill(cr);
}

void codeBrackets(cairo_t* cr, double w, double h, double stroke) {
  double m = stroke / 2 + w * 0.02;
  cairo_move_to(cr, w * 0.27, h * 0.2);
  cairo_line_to(cr, m, h / 2);
  cairo_line_to(cr, w * 0.27, h * 0.8);
  cairo_move_to(cr, w * 0.73, h * 0.2);
  cairo_line_to(cr, w - m, h / 2);
  cairo_line_to(cr, w * 0.73, h * 0.8);
  cairo_move_to(cr, w * 0.58, m);
  cairo_line_to(cr, w * 0.42, h - m);
  roundStroke(cr, stroke);
}

void cube(cairo_t* cr, double w, double h, double stroke) {
  double cx = w / 2, top = h * 0.03, bottom = h * 0.97, l = w * 0.06, r = w * 0.94;
  double upper = h * 0.27, lower = h * 0.73, middle = h * 0.5;
  cairo_move_to(cr, cx, top);
  cairo_line_to(cr, r, upper);
  cairo_line_to(cr, r, lower);
  cairo_line_to(cr, cx, bottom);
  cairo_line_to(cr, l, lower);
  cairo_line_to(cr, l, upper);
  cairo_close_path(cr);
  cairo_fill(cr);
  cut(cr);
  cairo_move_to(cr, l, upper);
  cairo_line_to(cr, cx, middle);
  cairo_line_to(cr, r, upper);
  cairo_move_to(cr, cx, middle);
  cairo_line_to(cr, cx, bottom);
  cairo_set_line_width(cr, stroke * 0.7);
  cairo_stroke(cr);
}

void hexagon(cairo_t* cr, double cx, double cy, double radius) {
  for (int i = 0; i < 6; ++i) {
    double angle = std::numbers::pi / 3 * i + std::numbers::pi / 6;
    double x = cx + radius * std::cos(angle), y = cy + radius * std::sin(angle);
    if (i == 0) {
      cairo_move_to(cr, x, y);
    } else {
      cairo_line_to(cr, x, y);
    }
  }
  cairo_close_path(cr);
}

void hexagonGrid(cairo_t* cr, double w, double h, double) {
  double cx = w / 2, cy = h / 2, radius = std::min(w, h) / 2;
  cairo_arc(cr, cx, cy, radius, 0, 2 * std::numbers::pi);
  cairo_fill(cr);
  cut(cr);
  double cell = radius * 0.19, step = cell * 2.25;
  hexagon(cr, cx, cy, cell);
  for (int i = 0; i < 6; ++i) {
    double angle = std::numbers::pi / 3 * i;
    hexagon(cr, cx + step * std::cos(angle), cy + step * std::sin(angle), cell);
  }
  cairo_fill(cr);
}

void warningTriangle(cairo_t* cr, double w, double h, double stroke) {
  double inset = stroke * 0.6;
  cairo_move_to(cr, w / 2, inset);
  cairo_line_to(cr, w - inset, h - inset);
  cairo_line_to(cr, inset, h - inset);
  cairo_close_path(cr);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_width(cr, inset * 2);
  cairo_stroke_preserve(cr);
  cairo_fill(cr);
  cut(cr);
  cairo_move_to(cr, w / 2, h * 0.36);
  cairo_line_to(cr, w / 2, h * 0.62);
  roundStroke(cr, stroke * 1.1);
  cairo_arc(cr, w / 2, h * 0.79, stroke * 0.65, 0, 2 * std::numbers::pi);
  cairo_fill(cr);
}

void dashedQuestionMark(cairo_t* cr, double w, double h, double stroke) {
  double inset = stroke / 2;
  roundedRectangle(cr, {inset, inset, w - stroke, h - stroke}, w * 0.22);
  double dash = w * 0.13;
  std::array<double, 2> pattern{dash, dash * 0.75};
  cairo_set_dash(cr, pattern.data(), 2, 0);
  cairo_set_line_width(cr, stroke);
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  double radius = w * 0.14;
  cairo_arc(cr, w / 2, h * 0.4, radius, std::numbers::pi * 1.1, std::numbers::pi * 2.25);
  cairo_line_to(cr, w / 2, h * 0.6);
  roundStroke(cr, stroke);
  cairo_arc(cr, w / 2, h * 0.74, stroke * 0.62, 0, 2 * std::numbers::pi);
  cairo_fill(cr);
}

void chevronLeft(cairo_t* cr, double w, double h, double stroke) {
  double m = stroke / 2 + h * 0.04;
  cairo_move_to(cr, w - m, m);
  cairo_line_to(cr, m, h / 2);
  cairo_line_to(cr, w - m, h - m);
  roundStroke(cr, stroke);
}

void arrowClockwise(cairo_t* cr, double w, double h, double stroke) {
  double cx = w / 2, cy = h * 0.55, radius = std::min(w, h) * 0.36;
  double end = std::numbers::pi * 4 / 3;
  cairo_arc(cr, cx, cy, radius, -std::numbers::pi / 3, end);
  roundStroke(cr, stroke);
  // The head at the end of the arc, pointing along it.
  double px = cx + radius * std::cos(end), py = cy + radius * std::sin(end);
  double dx = -std::sin(end), dy = std::cos(end);
  double size = radius * 0.75;
  cairo_move_to(cr, px + dx * size * 0.8, py + dy * size * 0.8);
  cairo_line_to(cr, px - dy * size * 0.6 - dx * size * 0.2, py + dx * size * 0.6 - dy * size * 0.2);
  cairo_line_to(cr, px + dy * size * 0.6 - dx * size * 0.2, py - dx * size * 0.6 - dy * size * 0.2);
  cairo_close_path(cr);
  cairo_fill(cr);
}

void sliders(cairo_t* cr, double w, double h, double stroke) {
  std::array<double, 3> rows{h * 0.2, h * 0.5, h * 0.8};
  std::array<double, 3> knobs{w * 0.66, w * 0.32, w * 0.56};
  for (double y : rows) {
    cairo_move_to(cr, stroke / 2, y);
    cairo_line_to(cr, w - stroke / 2, y);
  }
  roundStroke(cr, stroke);
  double radius = h * 0.13;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, knobs[i], rows[i], radius, 0, 2 * std::numbers::pi);
  }
  cairo_fill(cr);
}

constexpr std::array<Symbol, 9> symbols{{
    {"sparkle", 1.0, 1.06, sparkle},
    {"chevron.left.forwardslash.chevron.right", 1.42, 0.9, codeBrackets},
    {"cube.fill", 0.98, 1.08, cube},
    {"circle.hexagongrid.fill", 1.08, 1.08, hexagonGrid},
    {"exclamationmark.triangle.fill", 1.12, 1.0, warningTriangle},
    {"questionmark.square.dashed", 1.06, 1.06, dashedQuestionMark},
    {"chevron.left", 0.56, 1.0, chevronLeft},
    {"arrow.clockwise", 0.96, 1.1, arrowClockwise},
    {"slider.horizontal.3", 1.16, 0.94, sliders},
}};

const Symbol* find(std::string_view name) {
  for (const Symbol& symbol : symbols) {
    if (symbol.name == name) return &symbol;
  }
  return nullptr;
}

double strokeFactor(FontWeight weight) {
  switch (weight) {
    case FontWeight::regular:
      return 0.085;
    case FontWeight::medium:
      return 0.1;
    case FontWeight::semibold:
      return 0.115;
    case FontWeight::bold:
      break;
  }
  return 0.13;
}

}  // namespace

Image tinted(const Image& shape, const ColorToken& tint) {
  double w = shape.width(), h = shape.height();
  return Image(w, h, [shape, tint, w, h](cairo_t* cr) {
    // The shape at the tint's opacity, then its colour laid over it source-atop: the shape takes
    // the tint, translucency included, and its transparent parts stay transparent.
    shape.draw(cr, 0, 0, std::clamp(tint.alpha, 0.0, 1.0));
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_ATOP);
    cairo_set_source_rgb(cr, tint.red, tint.green, tint.blue);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_fill(cr);
    cairo_restore(cr);
  });
}

bool has(std::string_view name) {
  return find(name) != nullptr;
}

std::optional<Image> image(std::string_view name, double pointSize, FontWeight weight,
                           const ColorToken& tint) {
  const Symbol* symbol = find(name);
  if (!symbol || !(pointSize > 0) || !std::isfinite(pointSize)) return std::nullopt;
  double w = symbol->width * pointSize, h = symbol->height * pointSize;
  double stroke = strokeFactor(weight) * pointSize;
  Draw draw = symbol->draw;
  Image shape(w, h, [=](cairo_t* cr) {
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    draw(cr, w, h, stroke);
  });
  return tinted(shape, tint);
}

}  // namespace meterwright::Symbols
