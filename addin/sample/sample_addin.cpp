// The sample plug-in: raises the selected notes a semitone and counts them.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "addin/quavix_addin.h"
#include "common/text_util.h"
#include "model/score.h"

namespace {

constexpr const char* kCommands[] = {"TransposeUp", "CountSelectedNotes"};
constexpr int kCommandCount = sizeof kCommands / sizeof kCommands[0];

// A message box when the host runs a Qt application, else a line on the
// error stream (a command-line host, a test).
void Tell(const std::string& text) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
    QMessageBox::information(QApplication::activeWindow(), QString::fromUtf8("示例插件"), QString::fromStdString(text));
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

// Selected notes, rests and other note-like objects left out.
std::vector<CNote*> SelectedNotes(CScore& score) {
  std::vector<CNote*> notes;
  for (const auto& object : score.Objects()) {
    if (object->Selected && object->GetKind() == CNote::kKind) notes.push_back(static_cast<CNote*>(object.get()));
  }
  return notes;
}

}  // namespace

QUAVIX_ADDIN_EXPORT int GetMethodCount(void) { return kCommandCount; }

QUAVIX_ADDIN_EXPORT int GetMethodName(int index, char* buffer, int size) {
  if (index < 0 || index >= kCommandCount || !buffer) return -1;
  const size_t length = std::strlen(kCommands[index]);
  if (size <= 0 || length >= static_cast<size_t>(size)) return -1;
  std::memcpy(buffer, kCommands[index], length + 1);
  return static_cast<int>(length);
}

// A note's pitch follows its place on the stave until it is locked; the
// recalculation would undo a raised key on an unlocked note. So the key is
// raised and locked, which the MIDI export plays; the head stays where it
// is written. All or nothing: a note already at the top key refuses.
QUAVIX_ADDIN_EXPORT void TransposeUp(CScore* score) {
  if (!score) {
    Tell("没有打开的乐谱");
    return;
  }
  const std::vector<CNote*> notes = SelectedNotes(*score);
  if (notes.empty()) {
    Tell("没有选中的音符");
    return;
  }
  for (const CNote* note : notes) {
    if (note->Key >= 127) {
      Tell("选中的音符已是最高音, 不能再升高");
      return;
    }
  }
  for (CNote* note : notes) {
    note->Key = static_cast<uint8_t>(note->Key + 1);
    note->Style &= ~NTS_UPDATE_KEY;
  }
}

QUAVIX_ADDIN_EXPORT void CountSelectedNotes(CScore* score) {
  if (!score) {
    Tell("没有打开的乐谱");
    return;
  }
  Tell(qx::Format("选中了 %d 个音符", static_cast<int>(SelectedNotes(*score).size())));
}
