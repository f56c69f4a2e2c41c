#include "performance/accompaniment.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/ini_file.h"
#include "common/trace_log.h"
#include "performance/midi_file.h"

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A stored path: "\" read as "/", and relative to the ini's folder unless it
// is absolute ("/..." or holding ":").
std::string ListedPath(const std::string& iniPath, std::string data) {
  std::replace(data.begin(), data.end(), '\\', '/');
  if (data.find(':') != std::string::npos || (!data.empty() && data[0] == '/')) return data;
  return FolderOf(iniPath) + data;
}

bool LoadList(const std::string& path, IniFile& ini) {
  if (ini.Load(path)) return true;
  qx::Trace("没有找到文件:" + path + "\r\n");
  return false;
}

int CountOf(const IniFile& ini, const char* section, size_t cap) {
  const int n = ini.GetInt(section, "Count", 0);
  return n <= 0 ? 0 : int(std::min<size_t>(size_t(n), cap));
}

int ClampKey(int key) { return std::clamp(key, 0, 127); }

}  // namespace

void LoadRhythmList(const std::string& path, std::vector<RhythmEntry>& list) {
  list.clear();
  IniFile ini;
  if (!LoadList(path, ini)) return;
  const int n = CountOf(ini, "RhythmList", kMaxRhythms);
  // Sections 0 .. n: lists numbered from 1 have no section 0 and still load.
  for (int i = 0; i <= n && list.size() < kMaxRhythms; ++i) {
    const std::string section = "Rhythm" + std::to_string(i);
    std::string name, data;
    if (!ini.GetString(section, "Name", name) || name.empty()) continue;
    ini.GetString(section, "Data", data);
    RhythmEntry& r = list.emplace_back();
    r.Name = name;
    r.Number = ini.GetInt(section, "Number", 0);
    r.Path = ListedPath(path, data);
  }
}

void LoadChordList(const std::string& path, std::vector<ChordType>& list) {
  list.clear();
  IniFile ini;
  if (!LoadList(path, ini)) return;
  const int n = CountOf(ini, "ChordList", kMaxChordTypes);
  for (int i = 0; i <= n && list.size() < kMaxChordTypes; ++i) {
    const std::string section = "Chord" + std::to_string(i);
    std::string name, data;
    if (!ini.GetString(section, "Name", name) || name.empty()) continue;
    ini.GetString(section, "Data", data);
    ChordType& c = list.emplace_back();
    c.Name = name;
    c.Number = ini.GetInt(section, "Number", 0);
    std::stringstream in(data);
    std::string item;
    for (size_t k = 0; k < 12 && std::getline(in, item, ','); ++k) c.Adjust[k] = int8_t(std::atoi(item.c_str()));
  }
}

void LoadChordStructList(const std::string& path, std::vector<ChordStructEntry>& list, std::string* lastError) {
  list.clear();
  std::error_code ec;
  std::ifstream in;
  if (!std::filesystem::is_directory(path, ec)) in.open(path, std::ios::binary);
  if (!in.is_open()) {
    const bool exists = std::filesystem::exists(path, ec);
    if (lastError) *lastError = exists ? "-1:打开文件失败!" : "-1:指定的文件不存在!";
    return;
  }
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    int b[4] = {0, 0, 0, 0}, x = 0, y = 0;
    std::sscanf(line.substr(0, eq).c_str(), "%d+%d+%d+%d", &b[0], &b[1], &b[2], &b[3]);
    std::sscanf(line.c_str() + eq + 1, "%d-%d", &x, &y);
    ChordStructEntry& e = list.emplace_back();
    e.Key = uint32_t(uint8_t(b[0])) | uint32_t(uint8_t(b[1])) << 8 | uint32_t(uint8_t(b[2])) << 16 |
            uint32_t(uint8_t(b[3])) << 24;
    e.First = x;
    e.Second = y;
  }
  std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.Key < b.Key; });
}

int RootSemitone(std::string_view root) {
  if (root.empty()) return 60;
  int shift = 0;
  size_t i = 0;
  if (root[0] == '#') shift = 1, i = 1;
  else if (root[0] == 'b') shift = -1, i = 1;
  int letter = 0;
  if (i < root.size()) {
    switch (root[i] | 0x20) {
      case 'd': letter = 2; break;
      case 'e': letter = 4; break;
      case 'f': letter = 5; break;
      case 'g': letter = 7; break;
      case 'a': letter = 9; break;
      case 'b': letter = 11; break;
      default: letter = 0; break;
    }
  }
  return letter + shift;
}

void CAccompaniment::LoadAccompaniment(const std::string& resFolder) {
  std::string folder = resFolder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  LoadRhythmList(folder + "rhythm.ini", Rhythms);
  LoadChordList(folder + "chord.ini", ChordTypes);
  LoadChordStructList(folder + "chordstruct.ini", ChordStructs, &LastError);
}

bool CAccompaniment::LoadPattern(RhythmEntry& rhythm) {
  if (rhythm.Pattern.Events.size() >= 2) return true;
  if (ReadMidiFile(rhythm.Pattern, rhythm.Path) != 1) return false;
  // Into the song's ticks, once: a pattern keeps the division it was first played in.
  const int32_t fileDivision = rhythm.Pattern.Division;
  if (fileDivision != SongDivision && fileDivision > 0) {
    const double scale = double(SongDivision) / fileDivision;
    for (MidiEventRec& e : rhythm.Pattern.Events) e.Tick = int32_t(scale * e.Tick);
    rhythm.Pattern.Division = SongDivision;
  }
  return true;
}

void CAccompaniment::AttachAccompaniment(const CMidiSequence& sequence) {
  SongDivision = std::max(sequence.Division, 1);
  EventList.clear();
  Position = 0;
  for (const MidiEventRec& source : sequence.Events) {
    if (!source.IsMeta()) continue;
    if (source.Data1 == META_TIME_SIGNATURE) {
      EventList.push_back(source);
      continue;
    }
    if (!source.IsText()) continue;
    const std::string_view text = source.Text();
    if (text.size() < 3 || text[0] != '!' || (text[1] != 'r' && text[1] != 'c')) continue;
    MidiEventRec e = source;
    e.Tag = uint8_t(text[1]);
    e.Number = -1;
    const std::string_view rest = text.size() > 3 ? text.substr(3) : std::string_view();
    if (text[1] == 'r') {
      for (size_t i = 0; i < Rhythms.size(); ++i) {
        if (Rhythms[i].Name != rest) continue;
        for (size_t j = 0; j < Rhythms.size(); ++j) {
          if (Rhythms[j].Number != Rhythms[i].Number) continue;
          e.Number = int32_t(j);
          LoadPattern(Rhythms[j]);
          break;
        }
        break;
      }
    } else {
      const size_t rootLength = rest.empty() ? 0 : (rest[0] == '#' || rest[0] == 'b') ? std::min<size_t>(2, rest.size()) : 1;
      const std::string_view root = rest.substr(0, rootLength);
      std::string_view type = rest.substr(rootLength);
      if (type.empty()) type = "M";
      for (size_t i = 0; i < ChordTypes.size(); ++i) {
        if (ChordTypes[i].Name != type) continue;
        for (size_t j = 0; j < ChordTypes.size(); ++j) {
          if (ChordTypes[j].Number != ChordTypes[i].Number) continue;
          const int semitone = ((RootSemitone(root) % 12) + 12) % 12;
          e.Number = int32_t(j) + semitone * 65536;
          break;
        }
        break;
      }
    }
    EventList.push_back(e);
  }
}

void CAccompaniment::Send(const MidiEventRec& e) {
  if (OutputPort) OutputPort->SendShortMessage(e.ShortMessage());
}

void CAccompaniment::Silence(PatternPlayer& player) {
  for (size_t i = player.Position; i < player.Events.size(); ++i) {
    const MidiEventRec& e = player.Events[i];
    if (e.IsNoteOff() || (e.IsNoteOn() && e.Data2 == 0)) Send(e);
  }
}

void CAccompaniment::SelectRhythm(int index) {
  if (index < 0 || size_t(index) >= Rhythms.size()) {
    Drums.On = Chords.On = false;
    Silence(Drums);
    Silence(Chords);
    return;
  }
  if (index == CurrentRhythm) {
    Drums.On = true;
    Drums.Position = Chords.Position = 0;
    return;
  }
  RhythmEntry& rhythm = Rhythms[size_t(index)];
  LoadPattern(rhythm);
  Silence(Drums);
  Silence(Chords);
  Drums.Events.clear();
  ChordOriginals.clear();
  for (const MidiEventRec& e : rhythm.Pattern.Events) {
    if (e.IsMeta() || e.IsSysex()) continue;
    ((e.Status & 0x0F) == 9 ? Drums.Events : ChordOriginals).push_back(e);
  }
  Drums.On = true;
  const int32_t length = rhythm.Pattern.Events.empty() ? 0 : rhythm.Pattern.Events.back().Tick;
  Drums.LoopLength = Chords.LoopLength = length;
  Chords.Events = ChordOriginals;
  // A chord already in force bends the new pattern at once.
  if (CurrentRoot >= 0 && Chords.On) {
    const int root = CurrentRoot, type = CurrentChordType;
    SetChord(root, type);
  }
  for (const MidiEventRec& e : rhythm.Pattern.Events)
    if (e.Tick == 0 && !e.IsNote() && !e.IsMeta() && !e.IsSysex()) Send(e);
  CurrentRhythm = index;
  Drums.Position = Chords.Position = 0;
}

void CAccompaniment::SetChord(int root, int typeIndex) {
  if (typeIndex < 0) {
    Chords.On = false;
    Silence(Chords);
    return;
  }
  if (Chords.Events.size() != ChordOriginals.size()) return;
  Silence(Chords);
  CurrentChordType = typeIndex;
  CurrentRoot = root;
  Chords.On = true;
  const int pitch = ((root % 12) + 12) % 12;
  const int shift = pitch < 7 ? pitch : pitch - 12;
  const ChordType* type = size_t(typeIndex) < ChordTypes.size() ? &ChordTypes[size_t(typeIndex)] : nullptr;
  for (size_t i = 0; i < ChordOriginals.size(); ++i) {
    const MidiEventRec& original = ChordOriginals[i];
    MidiEventRec& copy = Chords.Events[i];
    copy.Data1 = original.Data1;
    if (!original.IsNote()) continue;
    int key = original.Data1 + shift;
    const int channel = original.Status & 0x0F;
    if (type && channel != 8 && channel != 10) key += type->Adjust[original.Data1 % 12];
    copy.Data1 = uint8_t(ClampKey(key));
  }
}

void CAccompaniment::ProcessEvent(const MidiEventRec& e) {
  if (!e.IsText()) return;
  if (e.Tag == 'c') {
    if (e.Number == -1) {
      Chords.On = false;
      Silence(Chords);
    } else {
      SetChord(e.Number / 65536, e.Number % 65536);
      Chords.Position = 0;
    }
    Chords.LoopStart = e.Tick;
  } else if (e.Tag == 'r') {
    SelectRhythm(e.Number);
    Drums.LoopStart = Chords.LoopStart = e.Tick;
  }
}

void CAccompaniment::Advance(PatternPlayer& player, int32_t tick) {
  if (player.LoopLength <= 0) return;
  while (true) {
    const int32_t offset = tick - player.LoopStart;
    if (offset < 0) return;
    for (; player.Position < player.Events.size() && player.Events[player.Position].Tick <= offset; ++player.Position)
      if (player.On) Send(player.Events[player.Position]);
    if (offset < player.LoopLength) return;
    // The next round starts now: its first events sound on this tick.
    player.Position = 0;
    player.LoopStart += player.LoopLength;
  }
}

void CAccompaniment::AccompanimentTick(int32_t tick) {
  for (; Position < EventList.size() && EventList[Position].Tick <= tick; ++Position) ProcessEvent(EventList[Position]);
  Advance(Drums, tick);
  Advance(Chords, tick);
}

void CAccompaniment::SeekAccompaniment(int32_t tick) {
  SelectRhythm(-1);
  Position = 0;
  Drums.LoopStart = 0;
  for (; Position < EventList.size() && EventList[Position].Tick <= tick; ++Position) ProcessEvent(EventList[Position]);
  const int32_t b = Drums.LoopStart, c = Drums.LoopLength;
  if (c == 0 || tick < b) return;
  Drums.LoopStart = Chords.LoopStart = b + c * ((tick - b) / c);
  const int32_t offset = (tick - b) % c;
  for (PatternPlayer* p : {&Drums, &Chords}) {
    p->Position = 0;
    while (p->Position < p->Events.size() && p->Events[p->Position].Tick < offset) ++p->Position;
  }
}
