#include "exchange/musicxml/musicxml_import.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <vector>

#include "common/file_util.h"
#include "common/gbk.h"
#include "editing/recorder.h"
#include "exchange/musicxml/zip_reader.h"
#include "model/page_objects.h"
#include "model/score.h"
#include "model/structure.h"
#include "performance/midi_sequence.h"

namespace {

constexpr int kDivision = 480;             // ticks per quarter of the performance built
constexpr int64_t kMaxTick = int64_t(1) << 30;
constexpr int kMaxNotes = 2000000;
constexpr int kMaxStaves = 15;             // channels 1..16 without the drum channel
constexpr size_t kMaxXmlBytes = size_t(256) << 20;

struct Fail {
  std::string why;
};

int IntOf(const pugi::xml_node& n, const char* child, int fallback = 0) {
  const pugi::xml_node c = n.child(child);
  if (!c) return fallback;
  const char* t = c.child_value();
  char* end = nullptr;
  const long v = std::strtol(t, &end, 10);
  if (end == t) return fallback;
  return int(std::clamp<long>(v, -1000000000L, 1000000000L));
}

double NumberOf(const pugi::xml_node& n, const char* child, double fallback = 0) {
  const pugi::xml_node c = n.child(child);
  if (!c) return fallback;
  char* end = nullptr;
  const double v = std::strtod(c.child_value(), &end);
  return end == c.child_value() ? fallback : v;
}

// What is read of one part, per stave.
struct Reader {
  CMidiSequence& seq;
  MusicXmlImportReport& report;
  std::map<std::string, int> channelOf;  // "part/staff" -> channel
  std::map<std::pair<int, int>, size_t> tieOpen;  // (channel, key) -> index of the note-off to extend
  std::vector<int64_t> measureStarts;             // from the first part
  int notes = 0;

  void Ignore(const char* what) { ++report.Ignored[what]; }

  int Channel(const std::string& part, int staff) {
    const std::string key = part + "/" + std::to_string(staff);
    auto it = channelOf.find(key);
    if (it != channelOf.end()) return it->second;
    const int n = int(channelOf.size());
    if (n >= kMaxStaves) throw Fail{"too many staves (more than 15)"};
    const int channel = n < 9 ? n : n + 1;  // the drum channel stays free
    channelOf[key] = channel;
    return channel;
  }

  void ReadPart(const std::string& id, const std::vector<pugi::xml_node>& measures, bool first);
};

void Reader::ReadPart(const std::string& id, const std::vector<pugi::xml_node>& measures, bool first) {
  int divisions = 0;
  int64_t measureStart = 0;
  int beats = 4, beatType = 4;
  size_t index = 0;
  for (const pugi::xml_node& measure : measures) {
    int64_t position = 0, longest = 0;  // in ticks
    int64_t lastOnset = 0;
    auto ticks = [&](double value) -> int64_t {
      if (divisions <= 0) throw Fail{"a duration comes before the part's divisions"};
      const double t = value * kDivision / divisions;
      if (!(t >= 0) || t > double(kMaxTick)) throw Fail{"a duration beyond the limits"};
      return int64_t(t + 0.5);
    };
    if (!first && index < measureStarts.size()) measureStart = measureStarts[index];
    for (const pugi::xml_node& e : measure.children()) {
      const std::string name = e.name();
      if (name == "attributes") {
        if (e.child("divisions")) {
          divisions = IntOf(e, "divisions");
          if (divisions <= 0 || divisions > 1000000) throw Fail{"divisions out of range"};
        }
        if (const pugi::xml_node time = e.child("time")) {
          beats = std::clamp(IntOf(time, "beats", 4), 1, 64);
          beatType = IntOf(time, "beat-type", 4);
          if (beatType <= 0 || beatType > 64 || (beatType & (beatType - 1))) beatType = 4;
          if (first) seq.AddTimeSignature(int32_t(measureStart + position), beats, beatType, 24, 8);
        }
        if (const pugi::xml_node key = e.child("key"); key && first)
          seq.AddKeySignature(int32_t(measureStart + position), std::clamp(IntOf(key, "fifths"), -7, 7), 0);
      } else if (name == "backup") {
        position -= ticks(NumberOf(e, "duration"));
        if (position < 0) position = 0;
      } else if (name == "forward") {
        position += ticks(NumberOf(e, "duration"));
      } else if (name == "note") {
        if (e.child("grace")) {
          Ignore("装饰音");
          continue;
        }
        if (e.child("cue")) {
          Ignore("提示音符");
          continue;
        }
        const int64_t duration = ticks(NumberOf(e, "duration"));
        const bool chord = e.child("chord");
        const int64_t onset = chord ? lastOnset : position;
        if (!chord) {
          lastOnset = position;
          position += duration;
        }
        longest = std::max(longest, position);
        if (const pugi::xml_node pitch = e.child("pitch")) {
          static const int kSteps[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
          const char* step = pitch.child_value("step");
          if (std::strlen(step) != 1 || step[0] < 'A' || step[0] > 'G') throw Fail{"a pitch without a step"};
          const int alter = int(std::lround(NumberOf(pitch, "alter")));
          const int key = kSteps[step[0] - 'A'] + alter + 12 * (IntOf(pitch, "octave", 4) + 1);
          if (key < 0 || key > 127) {
            Ignore("超出音域的音符");
            continue;
          }
          const int channel = Channel(id, std::max(1, IntOf(e, "staff", 1)));
          bool tieStart = false, tieStop = false;
          for (const pugi::xml_node tie : e.children("tie")) {
            tieStart |= std::strcmp(tie.attribute("type").value(), "start") == 0;
            tieStop |= std::strcmp(tie.attribute("type").value(), "stop") == 0;
          }
          const int64_t on = measureStart + onset, off = on + duration;
          if (off > kMaxTick) throw Fail{"the music runs beyond the limits"};
          auto open = tieOpen.find({channel, key});
          if (tieStop && open != tieOpen.end()) {
            // A tied continuation lengthens the note it continues.
            seq.Events[open->second].Tick = int32_t(off);
            if (!tieStart) tieOpen.erase(open);
          } else {
            if (++notes > kMaxNotes) throw Fail{"more than 2,000,000 notes"};
            seq.AddEvent(int32_t(on), uint8_t(0x90 | channel), uint8_t(key), 80);
            seq.AddEvent(int32_t(off), uint8_t(0x80 | channel), uint8_t(key), 0);
            if (tieStart) tieOpen[{channel, key}] = seq.Events.size() - 1;
            ++report.Notes;
          }
        } else if (!e.child("rest") && !e.child("unpitched")) {
          throw Fail{"a note with neither pitch nor rest"};
        } else if (e.child("unpitched")) {
          Ignore("无音高音符");
        }
        if (e.child("lyric")) Ignore("歌词");
        if (const pugi::xml_node n = e.child("notations")) {
          for (const pugi::xml_node x : n.children()) {
            const std::string what = x.name();
            if (what == "slur") Ignore("连线");
            else if (what == "articulations") Ignore("演奏记号");
            else if (what == "ornaments") Ignore("装饰记号");
            else if (what == "dynamics") Ignore("力度记号");
            else if (what == "fermata") Ignore("延长记号");
          }
        }
      } else if (name == "direction") {
        if (const pugi::xml_node sound = e.child("sound"); sound && sound.attribute("tempo") && first) {
          const double bpm = sound.attribute("tempo").as_double();
          if (bpm >= 10 && bpm <= 1000)
            seq.AddTempo(int32_t(measureStart + position), int32_t(60000000.0 / bpm + 0.5));
        }
        for (const pugi::xml_node type : e.children("direction-type"))
          for (const pugi::xml_node x : type.children()) {
            const std::string what = x.name();
            if (what == "dynamics") Ignore("力度记号");
            else if (what == "words") Ignore("文字");
            else if (what == "wedge") Ignore("渐强渐弱记号");
            else if (what == "pedal") Ignore("踏板记号");
            else if (what == "octave-shift") Ignore("八度记号");
          }
      } else if (name == "harmony") {
        Ignore("和弦符号");
      } else if (name == "barline") {
        if (e.child("repeat")) Ignore("反复记号");
        if (e.child("ending")) Ignore("反复结尾");
      }
    }
    // A measure lasts its time signature unless its music says otherwise
    // (a pickup, an overfull bar).
    const int64_t nominal = int64_t(kDivision) * 4 * beats / beatType;
    const int64_t length = longest > 0 ? longest : nominal;
    if (first) {
      measureStarts.push_back(measureStart);
      ++report.Measures;
    }
    measureStart += length;
    if (measureStart > kMaxTick) throw Fail{"the music runs beyond the limits"};
    ++index;
  }
}

}  // namespace

std::string MusicXmlImportReport::IgnoredText() const {
  if (Ignored.empty()) return {};
  std::string out = "已忽略: ";
  bool firstItem = true;
  for (const auto& [what, count] : Ignored) {
    if (!firstItem) out += ", ";
    out += std::to_string(count) + " 个" + what;
    firstItem = false;
  }
  return out;
}

bool ReadMusicXml(const std::string& bytes, CMidiSequence& sequence, MusicXmlImportReport& report,
                  std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    sequence.Clear();
    return false;
  };
  std::string xml = bytes;
  if (bytes.size() >= 4 && bytes.compare(0, 4, "PK\x03\x04", 4) == 0) {
    // The compressed container: the root file named by its container entry,
    // else the first MusicXML file in it.
    ZipReader zip;
    if (!zip.Open(bytes, error)) return false;
    std::string container, root;
    if (zip.Extract("META-INF/container.xml", container, kMaxXmlBytes, nullptr)) {
      pugi::xml_document c;
      if (c.load_buffer(container.data(), container.size()))
        root = c.child("container").child("rootfiles").child("rootfile").attribute("full-path").value();
    }
    if (root.empty())
      for (const std::string& name : zip.Names())
        if (name.find("META-INF/") != 0 && (name.ends_with(".xml") || name.ends_with(".musicxml"))) {
          root = name;
          break;
        }
    if (root.empty()) return fail("the compressed file holds no MusicXML score");
    if (!zip.Extract(root, xml, kMaxXmlBytes, error)) return false;
  }
  if (xml.size() > kMaxXmlBytes) return fail("the score is larger than 256 MB");

  // pugixml reads no document type definitions, so entities a file declares
  // expand to nothing and cannot multiply.
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size(), pugi::parse_default);
  if (!parsed) return fail(std::string("not well-formed XML: ") + parsed.description() + " at byte " +
                           std::to_string(parsed.offset));
  const pugi::xml_node partwise = doc.child("score-partwise");
  const pugi::xml_node timewise = doc.child("score-timewise");
  const pugi::xml_node root = partwise ? partwise : timewise;
  if (!root) return fail("not a MusicXML score (no score-partwise or score-timewise)");

  // Parts in the order of the part list, each with its measures in order.
  std::vector<std::string> order;
  for (const pugi::xml_node p : root.child("part-list").children("score-part")) order.push_back(p.attribute("id").value());
  std::map<std::string, std::vector<pugi::xml_node>> measures;
  if (partwise) {
    for (const pugi::xml_node p : root.children("part")) {
      const std::string id = p.attribute("id").value();
      if (std::find(order.begin(), order.end(), id) == order.end()) order.push_back(id);
      for (const pugi::xml_node m : p.children("measure")) measures[id].push_back(m);
    }
  } else {
    for (const pugi::xml_node m : root.children("measure"))
      for (const pugi::xml_node p : m.children("part")) {
        const std::string id = p.attribute("id").value();
        if (std::find(order.begin(), order.end(), id) == order.end()) order.push_back(id);
        measures[id].push_back(p);
      }
  }
  if (measures.empty()) return fail("the score has no measures");

  report = MusicXmlImportReport{};
  report.Title = root.child("work").child_value("work-title");
  if (report.Title.empty()) report.Title = root.child_value("movement-title");
  for (const pugi::xml_node c : root.child("identification").children("creator"))
    if (std::strcmp(c.attribute("type").value(), "composer") == 0) report.Composer = c.child_value();

  sequence.Clear();
  sequence.Division = kDivision;
  Reader reader{sequence, report, {}, {}, {}, 0};
  try {
    bool first = true;
    for (const std::string& id : order) {
      auto it = measures.find(id);
      if (it == measures.end()) continue;
      reader.ReadPart(id, it->second, first);
      first = false;
      ++report.Parts;
    }
  } catch (const Fail& f) {
    return fail(f.why);
  } catch (const std::bad_alloc&) {
    return fail("out of memory");
  }
  report.Staves = int(reader.channelOf.size());
  SortEvents(sequence.Events);
  return true;
}

bool ImportMusicXmlFile(const std::string& path, CScore& score, MusicXmlImportReport& report, std::string* error) {
  std::string bytes;
  if (!qx::ReadWholeFile(path, bytes, error, kMaxXmlBytes)) return false;
  CMidiSequence sequence;
  if (!ReadMusicXml(bytes, sequence, report, error)) return false;
  PrepareImportScore(score);
  CRecorder recorder(score);
  MidiImportSettings settings;
  // Every stave of every part has its own channel: a stave each.
  settings.AutoStaves = false;
  settings.ByChannel = true;
  ApplyImportSettings(recorder, settings);
  if (ImportSequence(recorder, sequence) != 1) {
    std::string why = score.LastError;
    if (why.rfind("-1:", 0) == 0) why.erase(0, 3);
    if (error) *error = why;
    score.Clear();
    return false;
  }
  // Title and composer above the music, which moves down to make room.
  if ((!report.Title.empty() || !report.Composer.empty()) && !score.Staffs.empty()) {
    constexpr int kRoom = 70;
    for (CStaff* s : score.Staffs) s->MoveTo(s->Left, s->Top + kRoom);
    const size_t titleFont = score.Fonts.size();
    LogFont title = LogFont::PointFont(200, "Times New Roman");
    title.Weight = 700;
    score.Fonts.push_back(title);
    score.Fonts.push_back(LogFont::PointFont(115, "Times New Roman"));
    CStave* top = score.Staffs.front()->Staves.empty() ? nullptr : score.Staffs.front()->Staves.front();
    CMeasure* first = score.Staffs.front()->Measures.empty() ? nullptr : score.Staffs.front()->Measures.front();
    auto add = [&](const std::string& utf8, size_t font, bool right, int y) {
      auto text = std::make_unique<CXText>();
      if (!qx::Utf8ToGbk(utf8, text->text)) text->text = utf8;
      text->Font = int8_t(font);
      const int pixels = std::abs(score.Fonts[font].Height);
      const int width = int(utf8.size()) * pixels / 2 + 8;
      const int pageRight = score.PaperWidth - score.PageRightMargin;
      const int left = right ? pageRight - width : (score.LeftMargin + pageRight - width) / 2;
      text->SetBounds(left, y, left + width, y + pixels * 3 / 2);
      if (top && first) score.AddAttachedObject(top, first, std::move(text));
      else score.AddObject(std::move(text));
    };
    if (!report.Title.empty()) add(report.Title, titleFont, false, score.TopMargin);
    if (!report.Composer.empty()) add(report.Composer, titleFont + 1, true, score.TopMargin + 36);
  }
  score.AfterLoad();
  return true;
}
