#include "common/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "tests/common/scratch_dir.h"

namespace {

// Sets an environment variable for one test and restores it afterwards.
class EnvGuard {
 public:
  explicit EnvGuard(const char* name) : name_(name) {
    if (const char* value = std::getenv(name)) old_ = value;
  }
  ~EnvGuard() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
  void Set(const std::string& value) { setenv(name_, value.c_str(), 1); }
  void Unset() { unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

class PathsTest : public testing::Test {
 protected:
  void TearDown() override { qx::SetProgramDirectoryForTesting(""); }
  ScratchDir dir_;
};

}  // namespace

TEST(PathsNames, NormaliseResolveAndExtensions) {
  const std::pair<const char*, const char*> normalised[] = {
      {"a/./b", "a/b"}, {"a/x/../b", "a/b"}, {"/a//b/", "/a/b/"}, {"/../a", "/a"},
      {"../a/../../b", "../../b"}, {"a/..", "."}, {"C:/x/../../y", "C:/y"}, {"", ""},
  };
  for (const auto& [in, want] : normalised) EXPECT_EQ(qx::NormalizePath(in), want) << in;

  const std::string score = "/home/u/scores/song.q5s";
  EXPECT_EQ(qx::ResolveRelativeTo(score, "img\\cover.png"), "/home/u/scores/img/cover.png");
  EXPECT_EQ(qx::ResolveRelativeTo(score, "../cover.png"), "/home/u/cover.png");
  EXPECT_EQ(qx::ResolveRelativeTo(score, "/abs/./x.png"), "/abs/x.png");
  EXPECT_EQ(qx::ResolveRelativeTo(score, "C:\\pics\\x.png"), "C:/pics/x.png");
  EXPECT_EQ(qx::ResolveRelativeTo("song.q5s", "./x.png"), "x.png");

  EXPECT_EQ(qx::FileExtensionLower("/a/Song.Q5S"), ".q5s");
  EXPECT_EQ(qx::FileExtensionLower("/a.dir/song"), "");
  EXPECT_EQ(qx::FileExtensionLower("C:\\a.dir\\song"), "");
  EXPECT_EQ(qx::ReplaceExtension("/a/song.old", ".q5s"), "/a/song.q5s");
  EXPECT_EQ(qx::ReplaceExtension("/a.dir/song", "q5s"), "/a.dir/song.q5s");
  EXPECT_EQ(qx::ReplaceExtension("/a/song.q5s", ""), "/a/song");
}

TEST_F(PathsTest, ProgramPathAppendsRelativeNamesOnly) {
  const std::string& real = qx::ProgramDirectory();
  ASSERT_EQ(real.back(), '/');
  EXPECT_TRUE(std::filesystem::equivalent(real + std::filesystem::read_symlink("/proc/self/exe").filename().string(),
                                          "/proc/self/exe"));
  qx::SetProgramDirectoryForTesting("/opt/quavix");
  EXPECT_EQ(qx::ProgramPath("fonts\\music.ttf"), "/opt/quavix/fonts/music.ttf");
  EXPECT_EQ(qx::ProgramPath("./a/../b.ini"), "/opt/quavix/b.ini");
  EXPECT_EQ(qx::ProgramPath("../share/x"), "/opt/share/x");
  EXPECT_EQ(qx::ProgramPath("\\srv\\a.q5s"), "/srv/a.q5s");
  EXPECT_EQ(qx::ProgramPath("D:\\scores\\..\\a.q5s"), "D:/a.q5s") << "a colon marks a stored absolute name";
}

TEST_F(PathsTest, WritableProgramFolderIsUsedForEverything) {
  qx::SetProgramDirectoryForTesting(dir_.Path());
  EXPECT_EQ(qx::WritableFileDirectory(), dir_.Path());
  EXPECT_EQ(qx::SettingsDirectory(), dir_.Path());
  EXPECT_EQ(qx::TempFilePath("trace.log"), dir_ / "trace.log");
}

TEST_F(PathsTest, ScratchFallsBackToPrivateFolders) {
  EnvGuard runtime("XDG_RUNTIME_DIR");
  qx::SetProgramDirectoryForTesting(dir_ / "not-there");
  runtime.Set(dir_.Path());
  EXPECT_EQ(qx::TempFilePath("x.tmp"), dir_ / "quavix/x.tmp");
  EXPECT_EQ(ModeOf(dir_ / "quavix"), 0700u);

  // A link planted where the folder should be is not followed.
  ScratchDir other;
  std::filesystem::create_directory_symlink(dir_.Path(), other / "quavix");
  runtime.Set(other.Path());
  const std::string fallback = qx::WritableFileDirectory();
  EXPECT_EQ(fallback.rfind("/tmp/quavix-" + std::to_string(getuid()), 0), 0u) << fallback;
  EXPECT_EQ(fallback.back(), '/');
  EXPECT_EQ(ModeOf(fallback) & 077, 0u);
}

TEST_F(PathsTest, SettingsFallBackToTheUserConfigFolder) {
  EnvGuard config("XDG_CONFIG_HOME");
  EnvGuard home("HOME");
  qx::SetProgramDirectoryForTesting(dir_ / "not-there");
  config.Set(dir_ / "deep/config");
  EXPECT_EQ(qx::SettingsDirectory(), dir_ / "deep/config/quavix/");
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "deep/config/quavix"));

  config.Unset();
  home.Set(dir_ / "home");
  EXPECT_EQ(qx::SettingsDirectory(), dir_ / "home/.config/quavix/");

  // Nothing can be created there: still a usable folder, never an empty path.
  ASSERT_TRUE(qx::WriteFileAtomically(dir_ / "file", "x"));
  config.Set(dir_ / "file/sub");
  const std::string last = qx::SettingsDirectory();
  EXPECT_TRUE(std::filesystem::is_directory(last)) << last;
}
