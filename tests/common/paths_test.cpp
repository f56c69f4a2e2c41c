#include "common/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "tests/common/scratch_dir.h"

namespace {

// Restores an environment variable when the test ends.
class EnvGuard {
 public:
  explicit EnvGuard(const char* name) : name_(name) {
    if (const char* value = std::getenv(name)) old_ = value;
  }
  ~EnvGuard() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  void Set(const std::string& value) { setenv(name_, value.c_str(), 1); }
  void Unset() { unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class PathsTest : public testing::Test {
 protected:
  void TearDown() override { qx::SetProgramDirectoryForTesting(""); }
};

}  // namespace

TEST(PathsNormalize, FoldsDotsAndSlashes) {
  const std::pair<const char*, const char*> cases[] = {
      {"a/./b", "a/b"},        {"a/x/../b", "a/b"},   {"/a//b/", "/a/b/"},   {"/../a", "/a"},
      {"../a/../../b", "../../b"}, {"a/..", "."},     {"/", "/"},            {"C:/x/../../y", "C:/y"},
      {"/opt/q/./fonts/../img.png", "/opt/q/img.png"}, {"", ""},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(qx::NormalizePath(in), want) << in;
}

TEST_F(PathsTest, ProgramPathAppendsRelativeNamesOnly) {
  qx::SetProgramDirectoryForTesting("/opt/quavix");
  EXPECT_EQ(qx::ProgramDirectory(), "/opt/quavix/");
  EXPECT_EQ(qx::ProgramPath("fonts\\music.ttf"), "/opt/quavix/fonts/music.ttf");
  EXPECT_EQ(qx::ProgramPath("./a/../b.ini"), "/opt/quavix/b.ini");
  EXPECT_EQ(qx::ProgramPath("../share/x"), "/opt/share/x");
  EXPECT_EQ(qx::ProgramPath("/etc/quavix.ini"), "/etc/quavix.ini");
  EXPECT_EQ(qx::ProgramPath("\\srv\\a.q5s"), "/srv/a.q5s");
  EXPECT_EQ(qx::ProgramPath("D:\\scores\\..\\a.q5s"), "D:/a.q5s") << "a colon marks a stored absolute name";
  EXPECT_EQ(qx::ProgramPath(""), "/opt/quavix/");
}

TEST_F(PathsTest, RealProgramDirectoryHoldsThisExecutable) {
  const std::string& dir = qx::ProgramDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.front(), '/');
  EXPECT_EQ(dir.back(), '/');
  const std::string exe = std::filesystem::read_symlink("/proc/self/exe").filename().string();
  EXPECT_TRUE(std::filesystem::exists(dir + exe));
}

TEST(PathsResolve, NamesAreRelativeToTheBaseFilesFolder) {
  EXPECT_EQ(qx::ResolveRelativeTo("/home/u/scores/song.q5s", "img\\cover.png"), "/home/u/scores/img/cover.png");
  EXPECT_EQ(qx::ResolveRelativeTo("/home/u/scores/song.q5s", "../cover.png"), "/home/u/cover.png");
  EXPECT_EQ(qx::ResolveRelativeTo("/home/u/scores/song.q5s", "/abs/x.png"), "/abs/x.png");
  EXPECT_EQ(qx::ResolveRelativeTo("/home/u/scores/song.q5s", "C:\\pics\\x.png"), "C:/pics/x.png");
  EXPECT_EQ(qx::ResolveRelativeTo("song.q5s", "./x.png"), "x.png");
}

TEST(PathsExtension, LastDotInTheLastComponent) {
  EXPECT_EQ(qx::FileExtensionLower("/a/Song.Q5S"), ".q5s");
  EXPECT_EQ(qx::FileExtensionLower("/a.dir/song"), "");
  EXPECT_EQ(qx::FileExtensionLower("C:\\a.dir\\song"), "");
  EXPECT_EQ(qx::FileExtensionLower("x.tar.GZ"), ".gz");
  EXPECT_EQ(qx::FileExtensionLower("\xCB\xCE.TXT"), ".txt");
  EXPECT_EQ(qx::ReplaceExtension("/a/song.old", ".q5s"), "/a/song.q5s");
  EXPECT_EQ(qx::ReplaceExtension("/a.dir/song", "q5s"), "/a.dir/song.q5s");
  EXPECT_EQ(qx::ReplaceExtension("/a/song.q5s", ""), "/a/song");
}

TEST_F(PathsTest, WritableProgramFolderIsUsedForScratchAndSettings) {
  ScratchDir dir;
  qx::SetProgramDirectoryForTesting(dir.Path());
  EXPECT_EQ(qx::WritableFileDirectory(), dir.Path());
  EXPECT_EQ(qx::SettingsDirectory(), dir.Path());
  EXPECT_EQ(qx::TempFilePath("trace.log"), dir / "trace.log");
}

TEST_F(PathsTest, ScratchFallsBackToAPrivateRuntimeFolder) {
  ScratchDir dir;
  EnvGuard runtime("XDG_RUNTIME_DIR");
  qx::SetProgramDirectoryForTesting(dir / "not-there");
  runtime.Set(dir.Path());
  EXPECT_EQ(qx::WritableFileDirectory(), dir / "quavix/");
  EXPECT_EQ(ModeOf(dir / "quavix"), 0700u);
  EXPECT_EQ(qx::TempFilePath("x.tmp"), dir / "quavix/x.tmp");

  // A link planted in the runtime folder is not followed.
  ScratchDir other;
  runtime.Set(other.Path());
  std::filesystem::create_directory_symlink(dir.Path(), other / "quavix");
  const std::string fallback = qx::WritableFileDirectory();
  EXPECT_EQ(fallback.rfind("/tmp/quavix-" + std::to_string(getuid()), 0), 0u) << fallback;
  EXPECT_EQ(ModeOf(fallback.substr(0, fallback.size() - 1)) & 077, 0u);
  EXPECT_EQ(fallback.back(), '/');

  runtime.Unset();
  EXPECT_EQ(qx::WritableFileDirectory().rfind("/tmp/quavix-", 0), 0u);
}

TEST_F(PathsTest, SettingsFallBackToTheUserConfigFolder) {
  ScratchDir dir;
  EnvGuard config("XDG_CONFIG_HOME");
  EnvGuard home("HOME");
  qx::SetProgramDirectoryForTesting(dir / "not-there");

  config.Set(dir / "deep/config");
  EXPECT_EQ(qx::SettingsDirectory(), dir / "deep/config/quavix/");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "deep/config/quavix"));

  config.Unset();
  home.Set(dir / "home");
  EXPECT_EQ(qx::SettingsDirectory(), dir / "home/.config/quavix/");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "home/.config/quavix"));

  // Nothing can be created there: still a usable folder, never an empty path.
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "file", "x"));
  config.Set(dir / "file/sub");
  const std::string last = qx::SettingsDirectory();
  EXPECT_EQ(last.rfind("/", 0), 0u);
  EXPECT_EQ(last.back(), '/');
}
