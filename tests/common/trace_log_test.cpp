#include "common/trace_log.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "common/paths.h"
#include "tests/common/scratch_dir.h"

namespace {

class TraceLogTest : public testing::Test {
 protected:
  void TearDown() override {
    TraceLog::ResetForTesting("");
    qx::SetProgramDirectoryForTesting("");
  }
  ScratchDir dir_;
};

}  // namespace

TEST_F(TraceLogTest, FirstWriteTruncatesAndEachWriteReachesTheFile) {
  qx::SetProgramDirectoryForTesting(dir_.Path());
  ASSERT_TRUE(qx::WriteFileAtomically(dir_ / "trace.log", "from an earlier run\n"));
  TraceLog::ResetForTesting("");
  EXPECT_EQ(TraceLog::Instance().Path(), dir_ / "trace.log");
  qx::Trace("open ");
  EXPECT_EQ(dir_.Read("trace.log"), "open ");
  qx::Trace("score\n");
  EXPECT_EQ(dir_.Read("trace.log"), "open score\n");
}

TEST_F(TraceLogTest, UnopenableLogDropsWritesWithoutRetrying) {
  TraceLog::ResetForTesting(dir_ / "later/trace.log");
  qx::Trace("lost");
  std::filesystem::create_directory(dir_ / "later");
  qx::Trace("also dropped");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "later/trace.log"));

  // A link in place of the log is not written through.
  std::filesystem::create_symlink(dir_ / "victim", dir_ / "link.log");
  TraceLog::ResetForTesting(dir_ / "link.log");
  qx::Trace("x");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "victim"));
}

TEST_F(TraceLogTest, ConcurrentWritesStayWhole) {
  TraceLog::ResetForTesting(dir_ / "trace.log");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i) qx::Trace("thread " + std::to_string(t) + " line " + std::to_string(i) + "\n");
    });
  }
  for (auto& thread : threads) thread.join();
  std::istringstream lines(dir_.Read("trace.log"));
  std::set<std::string> seen;
  for (std::string line; std::getline(lines, line);) seen.insert(line);
  EXPECT_EQ(seen.size(), 2000u);
  EXPECT_TRUE(seen.count("thread 3 line 499"));
}
