// Drawing primitives: lines, outlines, filled shapes and pixels on the active page of the
// current window, drawn with the state of drawing_state.hpp and repainted by its refresh rule.
//
// Every member holds the window's DC lock for the whole call. Line members draw with the
// current pen, their dash gaps transparent when the line transparency is 1 and in the
// background colour otherwise. Fill members draw with the current pen and brush, the brush's
// pattern in the fill colour and its gaps transparent when the fill transparency is 1.
// Coordinates are logical (relative to the viewport corner); angles are whole degrees
// counter-clockwise from the positive x axis, as seen on the screen. Point lists are x, y pairs.
//
// Each member repaints the bounding box of what it drew, widened by one pixel to the right and
// bottom and by the line thickness all round, except the members that repaint the whole
// window (drawpoly, bezier, fillpoly, floodfill, cleardevice) and putpixel (its pixel).
#pragma once

#include <cstdint>

#include "platform/gfx/geometry.hpp"

namespace gk {

// The point of angle `degrees` on the ellipse of centre (x, y) and radii (rx, ry):
// (x + trunc(rx cos a), y - trunc(ry sin a)).
platform::Point ArcEndPoints(int32_t x, int32_t y, int32_t rx, int32_t ry, int32_t degrees);

// Line members.
void line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);  // end pixel excluded
void lineto(int32_t x, int32_t y);
void linerel(int32_t dx, int32_t dy);
void rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
void drawpoly(int32_t count, const int32_t* points);
void bezier(int32_t x1,
            int32_t y1,
            int32_t x2,
            int32_t y2,
            int32_t cx1,
            int32_t cy1,
            int32_t cx2,
            int32_t cy2);
void circle(int32_t x, int32_t y, int32_t radius);
void arc(int32_t x, int32_t y, int32_t start_angle, int32_t end_angle, int32_t radius);
void ellipse(int32_t x,
             int32_t y,
             int32_t start_angle,
             int32_t end_angle,
             int32_t x_radius,
             int32_t y_radius);

// Fill members.
void bar(int32_t left, int32_t top, int32_t right, int32_t bottom);  // left..right-1
void bar3d(
    int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t depth, int32_t topflag);
void fillellipse(int32_t x, int32_t y, int32_t x_radius, int32_t y_radius);
void fillpoly(int32_t count, const int32_t* points);
void pieslice(int32_t x, int32_t y, int32_t start_angle, int32_t end_angle, int32_t radius);
void sector(int32_t x,
            int32_t y,
            int32_t start_angle,
            int32_t end_angle,
            int32_t x_radius,
            int32_t y_radius);
void floodfill(int32_t x, int32_t y, int32_t border);

// Others.
void putpixel(int32_t x, int32_t y, int32_t color);
void cleardevice();

}  // namespace gk
