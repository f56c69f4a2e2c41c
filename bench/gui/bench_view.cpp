// Editing in a real score view with the reference workload open, offscreen:
// a mouse press that inserts a note until the repaint ends, the undo key until
// the repaint ends, scrolling one screen, and one frame of drag feedback.
// Each is reported with its parts.
//   quavix_view_bench [RUNS]
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "editing/insert.h"
#include "editing/journal.h"
#include "editing/selection.h"
#include "editor/app/application.h"
#include "editor/app/score_document.h"
#include "editor/frame/main_frame.h"
#include "editor/view/score_view.h"
#include "model/notes.h"
#include "model/score.h"
#include "model/structure.h"
#include "tests/scripted_ui_host.h"
#include "tools/scoregen/scoregen.h"

namespace {

double Ms(const std::function<void()>& f) {
  QElapsedTimer t;
  t.start();
  f();
  return t.nsecsElapsed() / 1e6;
}

struct Series {
  std::map<std::string, std::vector<double>> parts;
  void Add(const std::string& k, double v) { parts[k].push_back(v); }
  void Print(const char* title, const std::string& total, double target) {
    std::printf("%s\n", title);
    for (auto& [k, v] : parts) {
      std::sort(v.begin(), v.end());
      std::printf("  %-28s median %8.2f ms  (min %.2f, max %.2f, n=%zu)%s\n", k.c_str(), v[v.size() / 2], v.front(),
                  v.back(), v.size(), k == total ? (v[v.size() / 2] <= target ? "  within target" : "  OVER target") : "");
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  ScriptedUiHost ui;
  QApplication qapp(argc, argv);
  QuavixApp app(ui);
  if (!app.Start({}, false)) return 1;
  CMainFrame& frame = *app.MainFrame();
  frame.resize(1600, 1000);
  frame.show();
  CScoreEditDoc& doc = *frame.NewDocument();
  GenerateWorkload(doc.Score(), WorkloadOptions{});
  doc.Score().AfterLoad();
  doc.Journal().RecordSnapshot();
  emit doc.Changed();
  CScoreEditView& view = *frame.ActiveView();
  QTest::qWait(50);
  std::printf("reference workload: %zu objects\n", doc.Score().ObjectCount());

  // A screen in the middle of the score.
  const int middle = static_cast<int>(doc.Score().Staffs.size() / 2);
  view.verticalScrollBar()->setValue(doc.Score().Staffs[middle]->Top - 40);
  view.viewport()->repaint();

  // Press inserting a note: a whole measure is emptied of its first stave's
  // notes beforehand so that two notes fit. The first press after that
  // (after any other change) recalculates the whole score; the second, the
  // usual case of notes entered one after another, only the stave it
  // touched. Both are timed; the parts are timed on the same second edit.
  Series press, first;
  for (int i = 0; i < runs; ++i) {
    CScore& score = doc.Score();
    CStaff* system = score.Staffs[middle + (i % 2)];
    view.verticalScrollBar()->setValue(system->Top - 40);
    ClearSelection(score);
    for (CStaveObject* o : system->Staves[0]->Attached)
      if (o->GetKind() == Kind::Note && o->OwnerMeasure == system->Measures[0]) o->Selected = 1;
    score.RecountSelection();
    DeleteSelection(score);
    score.UpdateDerived();
    doc.Journal().RecordSnapshot();
    emit doc.Changed();
    view.viewport()->repaint();
    view.SetTool(34303);
    CStaff* again = doc.Score().Staffs[middle + (i % 2)];
    CStave* stave = again->Staves[0];
    const int x0 = again->Measures[0]->Left + 40, x = x0 + 60, y = stave->Top + 16;
    auto pressAt = [&](int px) {
      QTest::mousePress(view.viewport(), Qt::LeftButton, {}, view.ToViewport({px, y}));
      view.viewport()->repaint();
    };
    size_t before = doc.Score().ObjectCount();
    QCoreApplication::processEvents();  // as between two presses: the last snapshot is packed
    first.Add("total: first press to repaint", Ms([&] { pressAt(x0); }));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, view.ToViewport({x0, y}));
    if (doc.Score().ObjectCount() == before) std::printf("  (run %d: the first note was refused)\n", i);
    before = doc.Score().ObjectCount();
    QCoreApplication::processEvents();
    press.Add("total: press to repaint", Ms([&] { pressAt(x); }));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, view.ToViewport({x, y}));
    if (doc.Score().ObjectCount() == before) std::printf("  (run %d: the note was refused)\n", i);
    // The parts, on a copy of the same step (the undo leaves the score fully
    // recalculated, as the first note left it).
    doc.Undo();
    CScore& s = doc.Score();
    s.SetInsertionPoint(x, y);
    CStave* on = s.CurrentStave;
    press.Add("part: InsertNote", Ms([&] { InsertNote(s, x, y, 3); }));
    bool local = false;
    press.Add("part: recalculation of the stave", Ms([&] { local = s.UpdateDerivedOnStaves({on}); }));
    if (!local) std::printf("  (run %d: the recalculation fell back to the full pass)\n", i);
    press.Add("peer: full recalculation", Ms([&] { s.UpdateDerived(); }));
    press.Add("part: journal snapshot taken", Ms([&] { doc.Journal().RecordSnapshot(); }));
    press.Add("part: frame refreshes commands", Ms([&] { frame.RefreshCommands(); }));
    press.Add("part: scroll sizes", Ms([&] { view.UpdateScrollSizes(); }));
    press.Add("part: render one screen", Ms([&] { view.Render(view.viewport()->size(), {view.horizontalScrollBar()->value(), view.verticalScrollBar()->value()}); }));
    press.Add("after repaint: snapshot packed", Ms([&] { doc.Journal().StoreNow(); }));
    emit doc.Changed();
  }
  first.Print("first press after another change (full recalculation)", "", 0);
  press.Print("mouse press inserting a note, to end of repaint (target 50 ms)", "total: press to repaint", 50);

  Series undo;
  for (int i = 0; i < runs; ++i) {
    InsertNote(doc.Score(), doc.Score().Staffs[middle]->Measures[0]->Left + 60, doc.Score().Staffs[middle]->Staves[0]->Top + 8, 3);
    doc.Score().UpdateDerived();
    doc.Journal().RecordSnapshot();
    emit doc.Changed();
    view.viewport()->repaint();
    view.setFocus();
    QCoreApplication::processEvents();
    undo.Add("total: undo key to repaint", Ms([&] {
      const int position = doc.Journal().Position();
      QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
      if (doc.Journal().Position() == position) frame.OnCommand(57643);  // no shortcut without an active window
      view.viewport()->repaint();
    }));
    frame.OnCommand(57644);
    undo.Add("part: journal undo", Ms([&] { doc.Journal().Undo(); }));
    undo.Add("part: scroll sizes", Ms([&] { view.UpdateScrollSizes(); }));
    undo.Add("part: render one screen", Ms([&] { view.Render(view.viewport()->size(), {0, view.verticalScrollBar()->value()}); }));
    doc.Journal().Redo();
  }
  undo.Print("undo to end of repaint (target 60 ms)", "total: undo key to repaint", 60);

  Series scroll;
  view.verticalScrollBar()->setValue(0);
  view.viewport()->repaint();
  // Between frames the event loop runs, as it does between wheel events: the
  // screens around the view are drawn then (timed as the idle part).
  for (int i = 0; i < runs * 4; ++i) {
    scroll.Add("total: one screen scrolled", Ms([&] {
      view.verticalScrollBar()->setValue(view.verticalScrollBar()->value() + view.viewport()->height());
      view.viewport()->repaint();
    }));
    scroll.Add("idle: screens around drawn", Ms([&] { QCoreApplication::processEvents(); }));
  }
  scroll.Print("scrolling one screen, per frame (target 8 ms)", "total: one screen scrolled", 8);
  Series cold;
  for (int i = 0; i < runs * 2; ++i) {
    doc.Changed();  // the cache is dropped: the frame draws the screen itself
    cold.Add("total: screen drawn afresh", Ms([&] { view.viewport()->repaint(); }));
    QCoreApplication::processEvents();
  }
  cold.Print("a frame without the cache (after an edit)", "", 0);

  Series drag;
  view.SetTool(0);
  view.verticalScrollBar()->setValue(doc.Score().Staffs[middle]->Top - 40);
  view.viewport()->repaint();
  CStaff* system = doc.Score().Staffs[middle];
  ClearSelection(doc.Score());
  for (CStaveObject* o : system->Staves[1]->Attached) o->Selected = o->GetKind() == Kind::Note;
  doc.Score().RecountSelection();
  const CXObject* grab = nullptr;
  for (CStaveObject* o : system->Staves[1]->Attached)
    if (o->Selected) grab = o;
  if (!grab) return 1;
  const ScorePoint from{(grab->Left + grab->Right) / 2, (grab->Top + grab->Bottom) / 2};
  QTest::mousePress(view.viewport(), Qt::LeftButton, {}, view.ToViewport(from));
  view.viewport()->repaint();
  for (int i = 0; i < runs * 4; ++i)
    drag.Add("total: feedback frame", Ms([&] {
      QTest::mouseMove(view.viewport(), view.ToViewport({from.X + 4 * (i % 5), from.Y + 4 * (i % 3)}));
      view.viewport()->repaint();
    }));
  QTest::mouseClick(view.viewport(), Qt::RightButton, {}, view.ToViewport(from));
  std::printf("  (%d notes selected)\n", doc.Score().SelectedCount);
  drag.Print("drag feedback frame (target 4 ms)", "total: feedback frame", 4);
  for (auto& d : frame.Documents()) d->SetModified(false);
  return 0;
}
