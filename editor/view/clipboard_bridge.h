// The score clipboard on the desktop's clipboard: the selection's payload
// under the format "Music Score ClipBoard Format", so it pastes into any
// editor window, in this process or another.
#pragma once

#include <cstdint>
#include <vector>

class QString;

namespace clipboard_bridge {
// The MIME type standing for the registered format.
const QString& MimeType();
bool HasScoreData();
void Put(const std::vector<uint8_t>& payload);
std::vector<uint8_t> Take();
}  // namespace clipboard_bridge
