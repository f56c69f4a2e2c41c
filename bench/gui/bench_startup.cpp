// The editor's cold start with the reference workload on the command line,
// step by step (process start, settings, glyph table and font, frame, open,
// first paint), and opening the same score from the menu in a running editor.
//   quavix_startup_bench [RUNS]   (needs quavix beside it)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/paths.h"
#include "editor/app/application.h"
#include "editor/app/score_document.h"
#include "editor/frame/main_frame.h"
#include "editor/view/score_view.h"
#include "model/score.h"
#include "tests/scripted_ui_host.h"
#include "tools/scoregen/scoregen.h"

extern char** environ;

namespace {
double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

std::map<std::string, double> RunOnce(const std::string& quavix, const std::string& score) {
  const std::string log = std::filesystem::temp_directory_path() / "quavix-startup-trace.txt";
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const std::string spawn = "QUAVIX_SPAWN_NS=" + std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
  std::vector<std::string> env = {spawn, "QT_QPA_PLATFORM=offscreen"};
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("QT_QPA_PLATFORM=", 0) != 0) env.push_back(*e);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> args = {quavix, score, "--startup-trace"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, quavix.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) return {};
  int status = 0;
  waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream in(log);
  std::string line, word;
  std::map<std::string, double> parts;
  while (std::getline(in, line)) {
    if (line.rfind("startup-trace", 0) != 0) continue;
    std::istringstream words(line);
    while (words >> word) {
      const size_t eq = word.find("-ms=");
      if (eq != std::string::npos) parts[word.substr(0, eq)] = std::stod(word.substr(eq + 4));
    }
  }
  return parts;
}
}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string quavix = qx::ProgramPath("quavix");
  const std::string score = std::filesystem::temp_directory_path() / "quavix-startup-reference.q5s";
  {
    CScore reference;
    GenerateWorkload(reference, WorkloadOptions{});
    if (!reference.SaveToFile(score)) return 1;
    std::printf("reference workload: %zu objects\n", reference.ObjectCount());
  }
  std::map<std::string, std::vector<double>> all;
  for (int i = 0; i < runs; ++i)
    for (auto& [k, v] : RunOnce(quavix, score)) all[k].push_back(v);
  if (all.empty()) {
    std::printf("quavix did not report its start-up\n");
    return 1;
  }
  std::printf("cold start, median of %d runs (target total <= 600 ms):\n", runs);
  for (const char* k : {"process-start", "profile", "glyph-table", "template", "frame", "command-line", "show",
                        "first-paint", "total"})
    if (all.count(k)) std::printf("  %-14s %8.1f ms\n", k, Median(all[k]));

  // Opening from the menu in a running editor, to the painted window.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ScriptedUiHost ui;
  QuavixApp editor(ui);
  editor.Start({}, true);
  std::vector<double> opens, after;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer t;
    t.start();
    editor.MainFrame()->OpenDocumentFile(score);
    editor.MainFrame()->ActiveView()->viewport()->repaint();
    opens.push_back(t.nsecsElapsed() / 1e6);
    // What waits until the window has painted: the journal's first snapshot.
    t.restart();
    QApplication::processEvents();
    editor.MainFrame()->ActiveDocument()->Journal();
    after.push_back(t.nsecsElapsed() / 1e6);
    editor.MainFrame()->CloseAllDocuments();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  std::printf("open from the menu to the painted window, median: %.1f ms (target <= 150 ms)\n", Median(opens));
  std::printf("then, before the first edit, the journal's first snapshot: %.1f ms\n", Median(after));
  return 0;
}
