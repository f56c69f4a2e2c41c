// The plug-in contract of the Quavix editor. A plug-in is a shared library
// "addin/<name>.so" under the editor's program folder, with an optional
// toolbar definition "addin/<name>.rci" beside it. It exports, with C names:
//
//   int GetMethodCount(void);
//       How many commands the plug-in offers.
//   int GetMethodName(int index, char* buffer, int size);
//       Writes the export name of command `index` (0 .. count - 1) into the
//       zero-filled buffer of `size` bytes (the editor passes 1024); returns
//       a negative value on failure.
//   void <name>(CScore* score);
//       One export per command: runs it on the active document's score, or
//       on null when no document is open. The editor neither redraws nor
//       records an undo step afterwards; the plug-in edits the score in place
//       and may show its own windows (it runs on the user-interface thread).
//
// The buttons of the ".rci" toolbar that have a non-zero ID get the
// plug-in's commands, in order.
//
// Working on CScore. The score is passed as a pointer to the editor's own
// object, so a plug-in needs the same model code, built from the same
// sources with the same compiler and flags (the project builds its plug-ins
// alongside the editor). A plug-in links its own static copy of the model
// and keeps all of it private: compiled with hidden visibility and linked
// with -Wl,--exclude-libs,ALL, only the contract's functions are exported.
// That way
//   - the plug-in loads into any host - the editor, a test program, a tool -
//     whether or not the host exports its symbols and whichever parts of
//     the model the host happened to link (a host exporting its own symbols
//     would only offer the functions its own code pulled in);
//   - neither side's symbols interpose on the other's.
// The layout of the objects is the same on both sides, so fields are read
// and written directly and the model's functions run on the host's objects.
// One rule follows: objects the plug-in allocates carry the plug-in's code
// (their virtual tables live in it), so an object a plug-in adds to a score
// must not outlive the plug-in. The editor unloads plug-ins only at exit,
// after every document is closed.
#pragma once

class CScore;

#define QUAVIX_ADDIN_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" {
typedef int (*QuavixGetMethodCountProc)(void);
typedef int (*QuavixGetMethodNameProc)(int index, char* buffer, int size);
typedef void (*QuavixAddinCommandProc)(CScore* score);
}

// The editor's buffer for command names.
#define QUAVIX_ADDIN_NAME_SIZE 1024

// Every plug-in defines these two; each command is declared
//   QUAVIX_ADDIN_EXPORT void MyCommand(CScore* score);
QUAVIX_ADDIN_EXPORT int GetMethodCount(void);
QUAVIX_ADDIN_EXPORT int GetMethodName(int index, char* buffer, int size);
