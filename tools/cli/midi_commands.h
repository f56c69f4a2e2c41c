// quavix-cli commands for Standard MIDI Files.
#pragma once

#include <string>

// convert X.q5s Y.mid: the editor's MIDI export. Opens the score as a
// document, builds the performance and writes it; on failure prints one line
// on stderr, returns non-zero and leaves no output file behind.
int CmdConvertToMidi(const std::string& in, const std::string& out);

// info X.mid: reads the file as the player does and prints its division,
// last tempo, last time signature, event count and note count.
int CmdMidiInfo(const std::string& path);
