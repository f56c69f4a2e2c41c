// Loading plug-ins, their command IDs, running and binding them to buttons.
#include <gtest/gtest.h>

#include <filesystem>

#include "editor/app/addin_manager.h"
#include "model/score.h"
#include "tests/addin/addin_fixture.h"
#include "tests/scripted_ui_host.h"

namespace {

TEST(AddinLoading, IdsFollowTheNamesAndFailedLookupsKeepTheirIds) {
  AddinFolder folder;
  const std::string three = folder.Install("fx_three", "a_three.so");
  const std::string failing = folder.Install("fx_fail_one", "b_fail.so");
  const std::string missing = folder.Install("fx_missing", "c_missing.so");
  folder.Install("fx_no_count", "d_nocount.so");
  folder.Install("fx_no_name", "e_noname.so");
  folder.Write("f_broken.so", "this is no library");
  std::filesystem::create_directories(folder.Addin("g_folder.so"));
  folder.Write("readme.txt", "not a plug-in");
  folder.WriteToolbar("a_three.rci", "Three", {1, 0, 2, 3, 4});

  ScriptedUiHost ui;
  AddinManager addins;
  addins.LoadAll(folder.Path(), ui);

  // The broken library and the folder are skipped; the others stay loaded
  // whatever their exports.
  ASSERT_EQ(addins.Modules().size(), 5u);
  EXPECT_EQ(addins.Modules()[0].Path, three);
  EXPECT_EQ(addins.Modules()[4].Path, folder.Addin("e_noname.so"));
  EXPECT_EQ(addins.CommandIdsOf(0), (std::vector<int>{38000, 38001, 38002}));
  // Position 1 failed: 38004 is used up.
  EXPECT_EQ(addins.CommandIdsOf(1), (std::vector<int>{38003, 38005}));
  // Position 1 names an export that is not there: 38007 is used up.
  EXPECT_EQ(addins.CommandIdsOf(2), (std::vector<int>{38006}));
  EXPECT_TRUE(addins.CommandIdsOf(3).empty());
  EXPECT_TRUE(addins.CommandIdsOf(4).empty());
  EXPECT_EQ(addins.NextID(), 38008);
  ASSERT_EQ(ui.Messages.size(), 1u);
  EXPECT_EQ(ui.Messages[0], "插件\n" + missing + "\n没有实现接口\nNotExported");

  // Toolbar files: only the first plug-in ships one.
  ui.Messages.clear();
  std::string rci;
  ASSERT_TRUE(addins.ToolbarFile(0, ui, rci));
  EXPECT_EQ(rci, folder.Addin("a_three.rci"));
  EXPECT_TRUE(ui.Messages.empty());
  EXPECT_FALSE(addins.ToolbarFile(1, ui, rci));
  ASSERT_EQ(ui.Messages.size(), 1u);
  EXPECT_EQ(ui.Messages[0], "没有为插件提供工具栏资源文件\n" + folder.Addin("b_fail.rci") + "\n");

  // Running: the score goes in as given, null when no document is open.
  CScore score;
  FixtureCalls first(addins.Modules()[0].Handle), second(addins.Modules()[1].Handle);
  EXPECT_TRUE(addins.Run(38001, &score));
  EXPECT_STREQ(first.LastCommand(), "CmdB");
  EXPECT_EQ(first.LastScore(), &score);
  EXPECT_TRUE(addins.Run(38005, nullptr));
  EXPECT_STREQ(second.LastCommand(), "CmdC");
  EXPECT_EQ(second.LastScore(), nullptr);
  EXPECT_EQ(first.Count(), 1);
  EXPECT_FALSE(addins.Run(38004, &score));
  EXPECT_FALSE(addins.Run(38008, &score));

  // Loaded once: a second call changes nothing.
  addins.LoadAll(folder.Path(), ui);
  EXPECT_EQ(addins.Modules().size(), 5u);

  addins.FreeAll();
  EXPECT_TRUE(addins.Modules().empty());
  EXPECT_FALSE(addins.Run(38000, &score));
}

TEST(AddinLoading, TheRangeEndsBefore39000AndLaterPluginsGetNoCommands) {
  AddinFolder folder;
  folder.Install("fx_many", "a_many.so");  // 600 commands each
  folder.Install("fx_many", "b_many.so");
  folder.Install("fx_three", "c_three.so");
  ScriptedUiHost ui;
  AddinManager addins;
  addins.LoadAll(folder.Path(), ui);
  ASSERT_EQ(addins.Modules().size(), 3u);
  EXPECT_EQ(addins.CommandIdsOf(0).size(), 600u);
  const std::vector<int> second = addins.CommandIdsOf(1);
  ASSERT_EQ(second.size(), 400u);
  EXPECT_EQ(second.front(), 38600);
  EXPECT_EQ(second.back(), 38999);
  EXPECT_TRUE(addins.CommandIdsOf(2).empty());
  EXPECT_EQ(addins.Commands().size(), 1000u);
  EXPECT_FALSE(addins.Run(39000, nullptr));
  EXPECT_TRUE(ui.Messages.empty());
  EXPECT_TRUE(AddinManager::IsAddinCommand(38999));
  EXPECT_FALSE(AddinManager::IsAddinCommand(39000));
}

TEST(AddinToolbar, TheDefinitionBesideTheLibrary) {
  EXPECT_EQ(AddinManager::ToolbarFileOf("/opt/q/addin/my.tools.so"), "/opt/q/addin/my.tools.rci");
  EXPECT_EQ(AddinManager::ToolbarFileOf("/opt/q.d/addin/tools"), "/opt/q.d/addin/tools.rci");
}

}  // namespace
