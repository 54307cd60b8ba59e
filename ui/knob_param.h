// One row of a panel's knob table: a knob's control id and the module parameter it edits. Both
// tables end with a row whose id is 0 or below.
#pragma once

struct KnobParam {
  int controlId;
  int paramIndex;
};
