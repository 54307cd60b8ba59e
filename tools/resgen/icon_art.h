// CIconArt: draws the program icon at any size: the program's own knob, dark with its red marker,
// on a rounded grey-green tile with an arc of tick marks, drawn afresh for each size rather than
// scaled so that small sizes stay sharp.
#pragma once

#include "tools/resgen/pixel_image.h"

class CIconArt {
 public:
  static CPixelImage Render(int size);
};
