// Tie arcs: the curves that show a tie chain between consecutive heads.
#pragma once

#include <utility>
#include <vector>

class CScore;
class CNote;
class CSlurLine;

// An arc for each pair (a head and the next head of its chain) on the side
// away from the stem (a chord's upper notes above, its lower notes below),
// bound to the head it starts from so that it moves with it; across a
// system break, an arc to the end of the first system and one into the
// second head (bound to that head). Pairs that already show an arc get none.
void AddTieArcs(CScore& score, const std::vector<std::pair<CNote*, CNote*>>& pairs);
// Whether the slur is the arc (or a half of the arc) shown between a and b.
bool IsTieArc(const CSlurLine& slur, const CNote& a, const CNote& b);
// Removes the arcs shown between the pairs.
void RemoveTieArcs(CScore& score, const std::vector<std::pair<CNote*, CNote*>>& pairs);
