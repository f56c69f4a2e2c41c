#include "common/file_util.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/common/scratch_dir.h"

namespace {

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

}  // namespace

TEST(FileUtil, WritesReadsAndKeepsPermissions) {
  ScratchDir dir;
  const std::string bytes("\0\x01\xFF\r\n\xCB\xCE end", 10);
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "a.bin", bytes));
  EXPECT_EQ(dir.Read("a.bin"), bytes);
  std::vector<uint8_t> raw;
  ASSERT_TRUE(qx::ReadWholeFile(dir / "a.bin", raw));
  EXPECT_EQ(raw, std::vector<uint8_t>(bytes.begin(), bytes.end()));
  EXPECT_EQ(ModeOf(dir / "a.bin"), 0644u & ~qx::CurrentUmask());

  ASSERT_EQ(chmod((dir / "a.bin").c_str(), 0600), 0);
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "a.bin", ""));
  EXPECT_EQ(dir.Read("a.bin"), "");
  EXPECT_EQ(ModeOf(dir / "a.bin"), 0600u);

  const std::string longName(250, 'n');  // no room to append a temp suffix
  ASSERT_TRUE(qx::WriteFileAtomically(dir / longName, "x"));
  EXPECT_EQ(dir.List(), (std::set<std::string>{"a.bin", longName}));

  std::string text = "keep", error;
  // Never more than fstat reported: a file under /proc that says 0 reads as empty.
  ASSERT_TRUE(qx::ReadWholeFile("/proc/self/status", text));
  EXPECT_EQ(text, "");
  text = "keep";
  EXPECT_FALSE(qx::ReadWholeFile(dir / "missing", text, &error));
  EXPECT_FALSE(qx::ReadWholeFile(dir.Path(), text));
  EXPECT_EQ(text, "keep");
  EXPECT_NE(error.find(dir / "missing"), std::string::npos);
  EXPECT_NE(error.find("No such file"), std::string::npos);
}

TEST(FileUtil, FailedWritesKeepTheOldFileAndLeaveNoTempFile) {
  ScratchDir dir;
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "score.q5s", "old bytes"));
  {
    // Cap file sizes so that writes fail with EFBIG.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 4096;
    const sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    qx::AtomicFileWriter writer;
    const bool opened = writer.Open(dir / "score.q5s");
    const std::string chunk(3000, 'n');
    writer.Write(chunk);
    const bool second = writer.Write(chunk);
    const bool third = writer.Write("x");
    const bool committed = writer.Commit();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(opened);
    EXPECT_FALSE(second);
    EXPECT_FALSE(third) << "errors are sticky";
    EXPECT_FALSE(committed);
    EXPECT_NE(writer.Error().find("File too large"), std::string::npos) << writer.Error();
  }
  std::filesystem::create_directory(dir / "folder");
  std::string error;
  EXPECT_FALSE(qx::WriteFileAtomically(dir / "folder", "x", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(qx::WriteFileAtomically(dir / "no/such/dir.txt", "x", &error));
  {
    qx::AtomicFileWriter abandoned;
    ASSERT_TRUE(abandoned.Open(dir / "score.q5s"));
    ASSERT_TRUE(abandoned.Write("never committed"));
  }
  EXPECT_EQ(dir.Read("score.q5s"), "old bytes");
  EXPECT_EQ(dir.List(), (std::set<std::string>{"folder", "score.q5s"}));
  EXPECT_TRUE(dir.List("folder").empty());

  qx::AtomicFileWriter reused;
  ASSERT_TRUE(reused.Open(dir / "other"));
  ASSERT_TRUE(reused.Open(dir / "score.q5s"));  // drops the first temp file
  ASSERT_TRUE(reused.Write("new"));
  ASSERT_TRUE(reused.Commit());
  EXPECT_FALSE(reused.Commit());
  EXPECT_EQ(dir.Read("score.q5s"), "new");
  EXPECT_EQ(dir.List(), (std::set<std::string>{"folder", "score.q5s"}));
}

TEST(FileUtil, LinkedTargetIsReplacedThroughTheLink) {
  ScratchDir dir;
  std::filesystem::create_directory(dir / "real");
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "real/settings.ini", "old"));
  std::filesystem::create_symlink(dir / "real/settings.ini", dir / "link.ini");
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "link.ini", "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
  EXPECT_EQ(dir.Read("real/settings.ini"), "new");
  EXPECT_EQ(dir.List("real"), std::set<std::string>{"settings.ini"});

  // A dangling link (relative, through a second link) gets the file it names.
  std::filesystem::create_symlink("real/new.q5s", dir / "first.q5s");
  std::filesystem::create_symlink("first.q5s", dir / "outer.q5s");
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "outer.q5s", "made"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "outer.q5s"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "first.q5s"));
  EXPECT_EQ(dir.Read("real/new.q5s"), "made");
  EXPECT_EQ(dir.List("real"), (std::set<std::string>{"settings.ini", "new.q5s"}));
}

TEST(FileUtil, SpecialFilesAreRefusedWithoutBlockingAndReadsStopAtTheStatedSize) {
  ScratchDir dir;
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  std::string text = "keep", error;
  // No writer ever opens the FIFO: a blocking open would hang here.
  EXPECT_FALSE(qx::ReadWholeFile(dir / "pipe", text, &error));
  EXPECT_NE(error.find("不是普通文件"), std::string::npos) << error;
  EXPECT_FALSE(qx::ReadWholeFile("/dev/zero", text, &error));
  EXPECT_NE(error.find("不是普通文件"), std::string::npos) << error;
  uint64_t size = 0;
  EXPECT_LT(qx::OpenRegularFile(dir.Path(), size, &error), 0);
  EXPECT_EQ(text, "keep");

  ASSERT_TRUE(qx::WriteFileAtomically(dir / "big", std::string(5000, 'x')));
  EXPECT_FALSE(qx::ReadWholeFile(dir / "big", text, &error, 4096));
  EXPECT_NE(error.find("5000"), std::string::npos) << error;
  ASSERT_TRUE(qx::ReadWholeFile(dir / "big", text, &error, 5000));
  EXPECT_EQ(text.size(), 5000u);
}

TEST(FileUtil, ASaveEndedBySignalLeavesNoTemporaryFile) {
  for (int sig : {SIGINT, SIGTERM}) {
    ScratchDir dir;
    ASSERT_TRUE(qx::WriteFileAtomically(dir / "score.q5s", "old"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(sig, SIG_DFL);
      qx::AtomicFileWriter writer;
      if (!writer.Open(dir / "score.q5s") || !writer.Write(std::string(1 << 16, 'n'))) _exit(3);
      raise(sig);  // as if the user pressed Ctrl+C halfway through a large save
      _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_EQ(dir.List(), std::set<std::string>{"score.q5s"});
    EXPECT_EQ(dir.Read("score.q5s"), "old");
  }
}
