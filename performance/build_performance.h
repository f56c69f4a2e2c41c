// A score turned into a performance: the whole score in playing order
// (MIDI export and the player) or the selected notes only (part play).
#pragma once

class CScore;
class CMidiSequence;

// Clears the sequence and fills it with the whole performance: tempo, time
// and key signatures, programs, notes in playing order, the pedal, the
// accompaniment markers and "!" text commands, ending with all notes off.
// Updates the score first and shortens notes that end on a bar line by one
// tick (in the score). Returns 1.
int BuildPerformance(CScore& score, CMidiSequence& sequence);

// Fills an already cleared sequence with the selected notes that head their
// tie chains, the "#tempo:" changes, the tempo and the time signature.
// Returns 0 when either is missing, else 1.
int BuildPartPerformance(const CScore* score, CMidiSequence* sequence);
