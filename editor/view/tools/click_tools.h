// The tools that act on one click: systems, staves, bar lines, notes, rests,
// marks, texts, links, images, visual-MIDI objects and angle texts, each
// chosen by its command id.
#pragma once

#include "editor/view/tools/tool.h"

// Whether the id names a one-click tool.
bool IsClickTool(int tool);
// The edit a click of the tool makes at p; `ctrl` adds a note to the chord at
// the point instead of inserting one.
Edit ClickEdit(int tool, ScorePoint p, bool ctrl);
