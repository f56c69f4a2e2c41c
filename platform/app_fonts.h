// Fonts the programs bring with them.
#pragma once

// Registers the music font from the program folder (once); false when it is missing.
bool RegisterMusicFont();
