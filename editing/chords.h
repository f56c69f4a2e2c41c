// Chord grouping and layout shared by the note tools and chord insertion.
#pragma once

#include <vector>

class CScore;
class CNote;

// Makes one chord of the notes (two or more) and lays it out: Chord numbers,
// tails, stems, heads shifted for seconds, the flag note.
void LayoutChord(CScore& score, std::vector<CNote*> notes);
