// The file-to-file exports: sources that cannot be read leave the target
// files as they were. (Round trips through files run in exchange_files.cmake.)
#include "tests/common/scratch_dir.h"
#include "tests/exchange/exchange_test_util.h"

namespace {

// The exports report success either way; what matters is that a failed read
// never replaces the target with an empty conversion.
TEST(FileExports, UnreadableSourcesLeaveTheTargetAlone) {
  ScratchDir dir;
  const std::string previous = "\r\n[Score]\r\nFileType=Score\r\n";
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "keep.q5t", previous));
  EXPECT_EQ(scoreExportXMLFile((dir / "missing.q5s").c_str(), (dir / "keep.q5t").c_str()), 1);
  EXPECT_EQ(dir.Read("keep.q5t"), previous);

  // A score of another version is refused the same way.
  CScore old;
  ASSERT_TRUE(old.SaveToFile(dir / "old.q5s"));
  std::string bytes = dir.Read("old.q5s");
  bytes[6] = 7;  // 3.7.0.0
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "old.q5s", bytes));
  EXPECT_EQ(scoreExportXMLFile((dir / "old.q5s").c_str(), (dir / "keep.q5t").c_str()), 1);
  EXPECT_EQ(dir.Read("keep.q5t"), previous);

  ASSERT_TRUE(qx::WriteFileAtomically(dir / "keep.q5s", bytes));
  EXPECT_EQ(scoreImportXMLFile((dir / "keep.q5s").c_str(), (dir / "missing.q5t").c_str()), 1);
  EXPECT_EQ(dir.Read("keep.q5s"), bytes);
}

}  // namespace
