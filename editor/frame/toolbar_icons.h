// Button images of the editor's commands: musical symbols drawn from the
// music font (note values, rests, clefs, accidentals, marks, dynamics) or
// with lines where the symbol is a figure (slurs, hairpins, staves), and the
// desktop icon theme for the file, edit and playback commands.
#pragma once

#include <QIcon>

// A null icon when the command has no image.
QIcon CommandIcon(int id);
