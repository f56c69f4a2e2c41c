// The data side of copy and paste: the payload the clipboard carries, and
// the three ways of pasting it (whole systems, notes into staves, other
// objects). The platform layer moves the bytes to and from the desktop
// clipboard; everything here is plain functions on scores.
//
// Payload (little-endian, the score file's object entries): int32 count,
// then count entries in object order, each the kind byte and the object's
// record. It holds every selected object and, selected or not, every system,
// stave and measure of the score, so that a paste can rebuild the objects'
// context.
//
// Pasted objects always get fresh Numbers from the target score, and the
// references among them (chords, ties, marks on notes, beams, slurs,
// combination members, staves and measures) are rewritten to the copies;
// references to objects that were not pasted are cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CScore;

// The payload for the score's selection; empty when there is nothing to
// write (no selection and no structure), so the clipboard stays as it was.
std::vector<uint8_t> WriteClipboard(CScore& score);

// Reads a payload into an empty scratch score's object list and relinks it.
// Returns 1 when read (a count of 0 or less reads nothing), 0 for an empty
// payload, -1 when the payload is refused: truncated, an unknown kind, a
// count the bytes cannot hold, a Number used twice, a coordinate off any
// page, or a stave, measure or system reference that names nothing in the
// payload. On refusal *error says why and the scratch score is untouched.
int ReadClipboard(CScore& scratch, const uint8_t* data, size_t size, std::string* error = nullptr);
inline int ReadClipboard(CScore& scratch, const std::vector<uint8_t>& payload, std::string* error = nullptr) {
  return ReadClipboard(scratch, payload.data(), payload.size(), error);
}

// The paste modes. Each returns the number of objects pasted (0 when the
// score did not change). A refused payload leaves the score untouched and
// "-1:" with the reason in score.LastError. The recalculation pass has run
// when they return; the caller records the journal snapshot.
//
// Selection filter 0: the selected systems, with their staves, measures and
// objects, inserted below the system at (x, y) (or at the top of the page);
// the systems below move down to make room. The new structure is selected.
int PasteSystems(CScore& score, const std::vector<uint8_t>& payload, int x, int y);
// Selection filter 1: the selected notes and rests of each source stave go
// into one stave, from the stave nearest (x, y) down, at x in the measure
// there; the voices flow on into the following measures (measures are
// added at the system's end when needed). Marks, beams and slurs copied
// with their notes come along.
int PasteNotes(CScore& score, const std::vector<uint8_t>& payload, int x, int y);
// Selection filter 2: every object that is neither structure, sign, note nor
// rest, 4 units right of where it was copied, on the stave nearest it.
int PasteObjects(CScore& score, const std::vector<uint8_t>& payload);
