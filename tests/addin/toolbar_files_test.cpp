// Toolbar definition files, style expressions, "barstatus.ini" and the
// toolbar manager's rows.
#include <gtest/gtest.h>

#include <tuple>

#include "common/file_util.h"
#include "common/ini_file.h"
#include "editor/frame/bar_state.h"
#include "editor/frame/toolbar_definition.h"
#include "editor/frame/toolbar_manager_model.h"
#include "tests/common/scratch_dir.h"

namespace {

TEST(StyleExpression, NamesAndNumbersAreAdded) {
  IniFile symbols;
  symbols.LoadFromText("[define]\r\nWS_CHILD=1073741824\r\nTBBS_CHECKBOX=2\r\nHEX=0x20\r\n");
  EXPECT_EQ(EvaluateStyle("WS_CHILD | 16", symbols), 1073741840u);
  EXPECT_EQ(EvaluateStyle("WS_CHILD|WS_CHILD", symbols), 2147483648u);  // twice counts twice
  EXPECT_EQ(EvaluateStyle("TBBS_CHECKBOX | TBBS_CHECKBOX | ws_child", symbols), 1073741828u);
  EXPECT_EQ(EvaluateStyle(" | |  8 || UNKNOWN | HEX", symbols), 40u);
  EXPECT_EQ(EvaluateStyle("", symbols), 0u);
  // The shipped symbols give the bar's default style the standard numbers.
  IniFile shipped;
  ASSERT_TRUE(shipped.Load(QUAVIX_DEFINE_INI));
  EXPECT_EQ(EvaluateStyle("WS_CHILD | WS_VISIBLE| CBRS_ALIGN_TOP", shipped), 0x50002000u);
  EXPECT_EQ(EvaluateStyle("TBBS_SEPARATOR", shipped), 1u);
  EXPECT_EQ(EvaluateStyle("WS_POPUP | WS_CAPTION", shipped), 0x80C00000u);
}

TEST(ToolbarDefinitionFile, KeysDefaultsAndPaths) {
  ScratchDir dir;
  std::filesystem::create_directories(dir / "bars/sub/nest");
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "bars/sub/nest/syms.ini", "[define]\r\nMINE=4096\r\nTBBS_SEPARATOR=1\r\n"));
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "bars/full.rci",
                                      "[KRToolBar]\r\nWindowID=40000\r\nTitle=Tools\r\ndefine=sub\\nest\\syms.ini\r\n"
                                      "LeftBorder=1\r\nBottomBorder=3\r\nStyle=MINE | 2\r\nControlStyle=7\r\n"
                                      "ButtonWidth=23\r\nImageHeight=15\r\nButtons=3\r\nBitmap=img/strip.bmp\r\n"
                                      "[Buttons]\r\nButton[0].ID=7\r\nButton[0].Style=0\r\nButton[0].Image=2\r\n"
                                      "Button[2].ID=9\r\nButton[2].Style=MINE\r\nButton[2].Text=Go\r\n"));
  ToolbarDefinition def;
  ASSERT_TRUE(ReadToolbarDefinition(dir / "bars/full.rci", def));
  EXPECT_EQ(def.SymbolPath, dir / "bars/sub/nest/syms.ini");
  EXPECT_EQ(def.BitmapPath, dir / "bars/img/strip.bmp");
  EXPECT_EQ(std::tie(def.WindowID, def.Title, def.LeftBorder, def.TopBorder, def.BottomBorder),
            std::make_tuple(40000, std::string("Tools"), 1, 0, 3));
  EXPECT_EQ(std::tie(def.BarStyle, def.ControlStyle), std::make_tuple(4098u, 7u));
  EXPECT_EQ(std::tie(def.ButtonWidth, def.ButtonHeight, def.ImageWidth, def.ImageHeight),
            std::make_tuple(23, 16, 16, 15));
  ASSERT_EQ(def.Buttons.size(), 3u);
  EXPECT_EQ(std::tie(def.Buttons[0].ID, def.Buttons[0].Style, def.Buttons[0].Image), std::make_tuple(7, 0u, 2));
  // A button without keys is a separator.
  EXPECT_EQ(std::tie(def.Buttons[1].ID, def.Buttons[1].Style), std::make_tuple(0, 1u));
  EXPECT_EQ(std::tie(def.Buttons[2].Style, def.Buttons[2].Text), std::make_tuple(4096u, std::string("Go")));

  // Nearly empty: every default; no symbol file, so every name counts 0;
  // a button count below 1 counts 1, a huge one is cut.
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "bars/bare.rci", "[KRToolBar]\r\nButtons=-4\r\ndefine=C:/x/none.ini\r\n"));
  ASSERT_TRUE(ReadToolbarDefinition(dir / "bars/bare.rci", def));
  EXPECT_EQ(def.WindowID, 59392);
  EXPECT_EQ(def.Title, "");
  EXPECT_EQ(def.SymbolPath, "C:/x/none.ini");  // a name with ':' is absolute
  EXPECT_EQ(def.BitmapPath, dir / "bars/toolbar.bmp");
  EXPECT_EQ(def.BarStyle, 0u);
  ASSERT_EQ(def.Buttons.size(), 1u);
  EXPECT_EQ(def.Buttons[0].Style, 0u);
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "bars/huge.rci", "[KRToolBar]\r\nButtons=2000000000\r\n"));
  ASSERT_TRUE(ReadToolbarDefinition(dir / "bars/huge.rci", def));
  EXPECT_EQ(def.Buttons.size(), size_t(kMaxToolbarButtons));

  EXPECT_FALSE(ReadToolbarDefinition(dir / "bars/missing.rci", def));

  EXPECT_TRUE(SameTitle("Sample Tools", "sAMPLE tOOLS"));
  EXPECT_FALSE(SameTitle("Tools", "Tool"));
  // Two GBK characters whose second bytes differ only as letters would.
  EXPECT_FALSE(SameTitle("\x81\x41", "\x81\x61"));
  EXPECT_TRUE(SameTitle("\xca\xbe\xc0\xfd", "\xca\xbe\xc0\xfd"));
}

BarStateEntry Bar(const std::string& name, int left, int top, int visible = kBarVisible, int floating = 0) {
  return {name, visible, floating ? kDockBarFloat : kDockBarTop, floating, left + 2, top, left + 100, top + 26};
}

TEST(BarStateFile, ARowOfThreeComesBackInOneRowLeftToRight) {
  ScratchDir dir;
  const std::string path = dir / "barstatus.ini";
  ASSERT_TRUE(qx::WriteFileAtomically(path, "[Old]\r\nstale=1\r\n"));
  // Saved in list order; the file holds them by top, then left.
  ASSERT_TRUE(WriteBarState(path, {Bar("Gamma", 400, 30), Bar("Alpha", 0, 30), Bar("Below", 0, 60),
                                   Bar("Beta", 200, 30), Bar("Hidden", 0, 0, 0), Bar("Loose", 700, 5, kBarVisible, 1)}));
  const std::string text = dir.Read("barstatus.ini");
  EXPECT_EQ(text.find("[Old]"), std::string::npos);  // the file is written anew
  EXPECT_EQ(text.substr(0, 27), "\r\n[BarStatus]\r\nCount=6\r\n\r\n[");
  EXPECT_NE(text.find("\r\n[Bar2]\r\nName=Alpha\r\nVisible=268435456\r\nDockBarID=59419\r\nFloat=0\r\n"
                      "Left=2\r\nTop=30\r\nRight=100\r\nBottom=56\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("[Bar0]\r\nName=Hidden\r\nVisible=0\r\n"), std::string::npos);
  EXPECT_NE(text.find("[Bar1]\r\nName=Loose\r\nVisible=268435456\r\nDockBarID=59423\r\nFloat=1\r\n"),
            std::string::npos);

  const std::vector<BarStateEntry> read = ReadBarState(path);
  ASSERT_EQ(read.size(), 6u);
  std::vector<std::string> names;
  for (const auto& e : read) names.push_back(e.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Hidden", "Loose", "Alpha", "Beta", "Gamma", "Below"}));

  // Bars are found by title; "Beta" is gone since.
  const std::vector<std::string> bars{"alpha", "GAMMA", "below", "hidden", "loose"};
  const auto find = [&](std::string_view title) {
    for (size_t i = 0; i < bars.size(); ++i)
      if (SameTitle(bars[i], title)) return int(i);
    return -1;
  };
  using D = BarPlacement::Dock;
  const std::vector<BarPlacement> steps = PlanBarRestore(read, find);
  ASSERT_EQ(steps.size(), 5u);
  EXPECT_EQ(steps[0].Bar, 3u);
  EXPECT_EQ(steps[0].How, D::Hidden);
  EXPECT_EQ(steps[1].How, D::Float);
  EXPECT_EQ(steps[1].Left, 702);
  EXPECT_EQ(steps[1].Top, 5);
  EXPECT_EQ(steps[2].Bar, 0u);
  EXPECT_EQ(steps[2].How, D::NewRow);
  EXPECT_EQ(steps[3].Bar, 1u);
  EXPECT_EQ(steps[3].How, D::RightOfPrevious);  // same Top as Alpha, though Beta between is gone
  EXPECT_EQ(steps[4].Bar, 2u);
  EXPECT_EQ(steps[4].How, D::NewRow);

  // A count larger than the sections there are reads what is there.
  ASSERT_TRUE(qx::WriteFileAtomically(path, "[BarStatus]\r\nCount=1000000\r\n[Bar1]\r\nName=x\r\n"));
  EXPECT_EQ(ReadBarState(path).size(), 1u);
  EXPECT_TRUE(ReadBarState(dir / "none.ini").empty());
}

TEST(ToolbarManager, TheTitleColumnTakesTheRestOfTheGrid) {
  EXPECT_EQ(ToolbarManagerModel::TitleColumnWidth(60), 50);
  EXPECT_EQ(ToolbarManagerModel::TitleColumnWidth(82), 50);
  EXPECT_EQ(ToolbarManagerModel::TitleColumnWidth(300), 268);
}

}  // namespace
