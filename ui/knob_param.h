// One row of a panel's knob table: a knob's control id and the module parameter it edits. Both
// tables end with a row whose id is 0 or below.
#pragma once

struct KnobParam {
  int controlId;
  int paramIndex;
};

// The parameter that the knob with `controlId` edits in `table`, or -1 when the table has no row for
// it.
inline int ParamOfKnob(const KnobParam* table, int controlId) {
  for (const KnobParam* row = table; row->controlId > 0; ++row) {
    if (row->controlId == controlId) {
      return row->paramIndex;
    }
  }
  return -1;
}
