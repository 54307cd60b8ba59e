// A rectangle in pixels, edges inclusive at left and top and exclusive at right and bottom: the
// item rectangle of an owner-drawn control and the rectangles text is drawn into.
#pragma once

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  void Offset(int dx, int dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
  }
  bool operator==(const Rect&) const = default;
};
