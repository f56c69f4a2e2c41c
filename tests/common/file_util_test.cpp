#include "common/file_util.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "tests/common/scratch_dir.h"

namespace {

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Caps the size of files this process may write, so writes fail with EFBIG.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  sighandler_t oldHandler_;
};

}  // namespace

TEST(FileUtil, WritesAndReadsBackExactBytes) {
  ScratchDir dir;
  const std::string bytes("\0\x01\xFF\r\n\xCB\xCE end", 10);
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "a.bin", bytes));
  std::string text;
  ASSERT_TRUE(qx::ReadWholeFile(dir / "a.bin", text));
  EXPECT_EQ(text, bytes);
  std::vector<uint8_t> raw;
  ASSERT_TRUE(qx::ReadWholeFile(dir / "a.bin", raw));
  EXPECT_EQ(raw, std::vector<uint8_t>(bytes.begin(), bytes.end()));

  ASSERT_TRUE(qx::WriteFileAtomically(dir / "a.bin", ""));
  ASSERT_TRUE(qx::ReadWholeFile(dir / "a.bin", text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(dir.List(), std::set<std::string>{"a.bin"});

  // Files that report size 0 are still read to the end.
  ASSERT_TRUE(qx::ReadWholeFile("/proc/self/status", text));
  EXPECT_NE(text.find("Umask:"), std::string::npos);
}

TEST(FileUtil, ReadFailuresLeaveTheOutputAlone) {
  ScratchDir dir;
  std::string text = "keep", error;
  EXPECT_FALSE(qx::ReadWholeFile(dir / "missing", text, &error));
  EXPECT_EQ(text, "keep");
  EXPECT_NE(error.find("missing"), std::string::npos);
  EXPECT_NE(error.find("No such file"), std::string::npos);
  EXPECT_FALSE(qx::ReadWholeFile(dir.Path(), text, &error));
  EXPECT_EQ(text, "keep");
}

TEST(FileUtil, PermissionsComeFromTheOldFileOrTheUmask) {
  ScratchDir dir;
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "new", "1"));
  EXPECT_EQ(ModeOf(dir / "new"), 0644u & ~qx::CurrentUmask());
  ASSERT_EQ(chmod((dir / "new").c_str(), 0600), 0);
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "new", "2"));
  EXPECT_EQ(ModeOf(dir / "new"), 0600u);
  EXPECT_EQ(dir.Read("new"), "2");
}

TEST(FileUtil, FailedCommitKeepsTheOldFileAndLeavesNoTempFile) {
  ScratchDir dir;
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "score.q5s", "old bytes"));
  {
    FileSizeLimit limit(4096);
    qx::AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "score.q5s"));
    const std::string chunk(3000, 'n');
    writer.Write(chunk);
    EXPECT_FALSE(writer.Write(chunk));
    EXPECT_FALSE(writer.Write("more")) << "errors are sticky";
    EXPECT_FALSE(writer.Commit());
    EXPECT_NE(writer.Error().find("File too large"), std::string::npos) << writer.Error();
  }
  EXPECT_EQ(dir.Read("score.q5s"), "old bytes");
  EXPECT_EQ(dir.List(), std::set<std::string>{"score.q5s"});

  std::filesystem::create_directory(dir / "folder");
  std::string error;
  EXPECT_FALSE(qx::WriteFileAtomically(dir / "folder", "x", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(qx::WriteFileAtomically(dir / "no/such/dir.txt", "x", &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  EXPECT_EQ(dir.List(), (std::set<std::string>{"folder", "score.q5s"}));
  EXPECT_TRUE(dir.List("folder").empty());
}

TEST(FileUtil, UncommittedWriterRemovesItsTempFile) {
  ScratchDir dir;
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "a.ini", "old"));
  {
    qx::AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "a.ini"));
    ASSERT_TRUE(writer.Write("new"));
    EXPECT_EQ(dir.List().size(), 2u);
  }
  EXPECT_EQ(dir.Read("a.ini"), "old");
  EXPECT_EQ(dir.List(), std::set<std::string>{"a.ini"});

  qx::AtomicFileWriter reused;
  ASSERT_TRUE(reused.Open(dir / "b.ini"));
  ASSERT_TRUE(reused.Open(dir / "a.ini"));  // drops the first temp file
  ASSERT_TRUE(reused.Write("second"));
  ASSERT_TRUE(reused.Commit());
  EXPECT_FALSE(reused.Commit());
  EXPECT_EQ(dir.Read("a.ini"), "second");
  EXPECT_EQ(dir.List(), std::set<std::string>{"a.ini"});
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
}

TEST(FileUtil, VeryLongNamesStillGetATempFile) {
  ScratchDir dir;
  const std::string name(250, 'n');
  ASSERT_TRUE(qx::WriteFileAtomically(dir / name, "x"));
  EXPECT_EQ(dir.Read(name), "x");
  EXPECT_EQ(dir.List(), std::set<std::string>{name});
}
