// quavix-cli: the MIDI import, as the editor's import command runs it.
#pragma once

#include <string>
#include <vector>

// convert X.mid Y.q5s [--quantise 3-6] [--measures-per-line N] [--voices N]
// [--by-channel | --split-key KEY]: reads the file, records it into a new
// score with the import dialog's choices and saves the score. On failure
// prints one line on stderr, returns non-zero and leaves no output behind.
int CmdConvertFromMidi(const std::string& in, const std::string& out, const std::vector<std::string>& options);
