// Quavix, the score editor.
//   quavix [FILE.q5s ...] [--command ID ...] [--startup-trace]
// Each --command runs a menu command by its id on the active document after
// start-up, as choosing it would (for scripts and tests). --startup-trace
// prints how long each start-up step took once the score is first painted,
// then quits (for the start-up benchmark).
#include <QApplication>
#include <QMdiSubWindow>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <string>
#include <cstdio>
#include <cstdlib>

#include "editor/app/application.h"
#include "editor/frame/main_frame.h"
#include "editor/view/score_view.h"
#include "platform/qt_ui_host.h"

namespace {
int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Reports the start-up steps when the active view has painted.
class FirstPaintTrace : public QObject {
 public:
  FirstPaintTrace(const QuavixApp& app, int64_t entered) : app_(app), entered_(entered) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint || done_) return false;
    done_ = true;
    QTimer::singleShot(0, [this] { Report(); });
    return false;
  }

 private:
  void Report() {
    const int64_t painted = NowNs();
    const char* spawned = std::getenv("QUAVIX_SPAWN_NS");
    std::fprintf(stderr, "startup-trace process-start-ms=%.1f", spawned ? (entered_ - std::atoll(spawned)) / 1e6 : -1.0);
    int64_t last = entered_;
    const auto& steps = app_.Steps();
    for (size_t i = 0; i < steps.size(); ++i) {
      std::string name = steps[i];
      std::replace(name.begin(), name.end(), ' ', '-');
      std::fprintf(stderr, " %s-ms=%.1f", name.c_str(), (app_.StepTimes()[i] - last) / 1e6);
      last = app_.StepTimes()[i];
    }
    std::fprintf(stderr, " first-paint-ms=%.1f total-ms=%.1f\n", (painted - last) / 1e6, (painted - entered_) / 1e6);
    QApplication::exit(0);
  }
  const QuavixApp& app_;
  int64_t entered_;
  bool done_ = false;
};
}  // namespace

int main(int argc, char** argv) {
  const int64_t entered = NowNs();
  PrepareChineseLocale();
  QApplication app(argc, argv);
  InstallChineseTranslations(app);
  SetUpIconTheme();
  QtUiHost ui;
  QuavixApp quavix(ui);
  QStringList files, commands;
  bool trace = false;
  const QStringList args = QApplication::arguments();
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == "--command" && i + 1 < args.size()) commands << args[++i];
    else if (args[i] == "--startup-trace") trace = true;
    else files << args[i];
  }
  FirstPaintTrace tracer(quavix, entered);
  if (!quavix.Start(files)) return 1;
  ui.SetParent(quavix.MainFrame());
  if (trace) {
    if (CScoreEditView* view = quavix.MainFrame()->ActiveView()) view->viewport()->installEventFilter(&tracer);
    else return 1;
  }
  QTimer::singleShot(0, quavix.MainFrame(), [&] {
    for (const QString& c : commands) quavix.MainFrame()->OnCommand(c.toInt());
  });
  return QApplication::exec();
}
