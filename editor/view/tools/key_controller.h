// The view's keys: up and down move the selected notes a staff position,
// the arrows nudge staves or graphic objects, A and D lengthen and shorten
// the selected notes' written value.
#pragma once

#include "editor/view/tools/tool.h"

enum class ViewKey : uint8_t { Up, Down, Left, Right, A, D, Other };

// The edit a key makes in a selection mode (0 staves, 1 notes, 2 graphics);
// empty when the key is not the view's (it then goes to default handling).
Edit KeyEdit(ViewKey key, int mode);
