#include "editor/commands/command_table.h"

#include <algorithm>
#include <unordered_map>

namespace {

constexpr const char* F = "文件(&F)";
constexpr const char* E = "编辑(&E)";
constexpr const char* EA = "编辑(&E)/对齐(&G)";
constexpr const char* EO = "编辑(&E)/排列次序(&D)";
constexpr const char* V = "视图(&V)";
constexpr const char* VB = "视图(&V)/工具栏(&T)";
constexpr const char* I = "插入(&I)";
constexpr const char* IT = "插入(&I)/文字和图片(&X)";
constexpr const char* N = "音符(&N)";
constexpr const char* NT = "音符(&N)/音符工具(&N)";
constexpr const char* NR = "音符(&N)/休止符工具(&R)";
constexpr const char* ND = "音符(&N)/时值(&D)";
constexpr const char* NU = "音符(&N)/连音(&T)";
constexpr const char* NP = "音符(&N)/音高和力度(&P)";
constexpr const char* NS = "音符(&N)/符干和符尾(&S)";
constexpr const char* NO = "音符(&N)/演奏法(&O)";
constexpr const char* NV = "音符(&N)/编辑声部(&E)";
constexpr const char* S = "符号(&S)";
constexpr const char* SM = "符号(&S)/标记(&M)";
constexpr const char* SL = "符号(&S)/线条(&L)";
constexpr const char* SD = "符号(&S)/力度记号(&D)";
constexpr const char* SN = "符号(&S)/现代记谱符号(&O)";
constexpr const char* T = "工具(&T)";
constexpr const char* TA = "工具(&T)/整理(&A)";
constexpr const char* TV = "工具(&T)/视觉MIDI(&V)";
constexpr const char* W = "窗口(&W)";
constexpr const char* H = "帮助(&H)";

using CS = CommandScope;
using ER = EnableRule;
using CR = CheckRule;
constexpr uint8_t SEP = kSeparatorBefore;
constexpr uint8_t CHK = kCheckable;
constexpr uint8_t HID = kNoMenu;

// Rows in menu order: a menu lists its rows in the order they stand here.
const std::vector<EditorCommand> kCommands = {
    // 文件
    {57600, F, "新建(&N)", "建立新乐谱\n新建", "Ctrl+N", CS::App, ER::Always, CR::None, 0},
    {57601, F, "打开(&O)...", "打开一个已有的乐谱\n打开", "Ctrl+O", CS::App, ER::Always, CR::None, 0},
    {57602, F, "关闭(&C)", "关闭当前乐谱\n关闭", "Ctrl+W", CS::Document, ER::HasDocument, CR::None, 0},
    {57603, F, "保存(&S)", "保存当前乐谱\n保存", "Ctrl+S", CS::Document, ER::HasDocument, CR::None, SEP},
    {57604, F, "另存为(&A)...", "用新名字保存当前乐谱\n另存为", "Ctrl+Shift+S", CS::Document, ER::HasDocument, CR::None, 0},
    {33092, F, "导入Brenvo文本文件(&T)", "从Brenvo文本文件读入乐谱\n导入文本", "", CS::View, ER::Pending, CR::None, SEP},
    {33093, F, "导出Brenvo文本文件(&T)", "把乐谱写成Brenvo文本文件\n导出文本", "", CS::View, ER::Pending, CR::None, 0},
    {32973, F, "导入MIDI文件(&I)...", "把MIDI文件读成音符\n导入MIDI", "", CS::View, ER::Pending, CR::None, 0},
    {32945, F, "导出MIDI文件(&M)", "把乐谱写成MIDI文件\n导出MIDI", "", CS::View, ER::HasDocument, CR::None, 0},
    {32944, F, "导出BMP文件(&B)", "把乐谱写成位图文件\n导出BMP", "", CS::View, ER::Pending, CR::None, 0},
    {kIdImportMusicXml, F, "导入MusicXML文件(&L)...", "读入其他记谱软件写的MusicXML文件\n导入MusicXML", "", CS::App, ER::Always, CR::None, 0},
    {kIdExportMusicXml, F, "导出MusicXML文件(&X)...", "把乐谱写成MusicXML文件，供其他记谱软件打开\n导出MusicXML", "", CS::View, ER::HasDocument, CR::None, 0},
    {57607, F, "打印(&P)...", "打印当前乐谱\n打印", "Ctrl+P", CS::View, ER::HasDocument, CR::None, SEP},
    {57609, F, "打印预览(&V)", "显示整页的打印效果\n打印预览", "", CS::View, ER::Pending, CR::None, 0},
    {57606, F, "打印设置(&R)...", "选择打印机和纸张\n打印设置", "", CS::Frame, ER::Always, CR::None, 0},
    {kIdFilePrintPdf, F, "打印到PDF", "把乐谱的各页写成PDF文件\n打印到PDF", "", CS::View, ER::HasDocument, CR::None, 0},
    {57665, F, "退出(&X)", "退出程序，提示保存修改过的乐谱\n退出", "Ctrl+Q", CS::App, ER::Always, CR::None, SEP},

    // 编辑
    {57643, E, "撤消(&U)", "撤消上一步操作\n撤消", "Ctrl+Z", CS::View, ER::CanUndo, CR::None, 0},
    {57644, E, "重新执行(&R)", "重新执行撤消的操作\n重做", "Ctrl+Y", CS::View, ER::CanRedo, CR::None, 0},
    {57635, E, "剪切(&T)", "剪切选中的对象并放到剪贴板上\n剪切", "Ctrl+X", CS::View, ER::HasSelection, CR::None, SEP},
    {57634, E, "复制(&C)", "复制选中的对象到剪贴板上\n复制", "Ctrl+C", CS::View, ER::HasSelection, CR::None, 0},
    {57637, E, "粘贴(&P)", "在插入点粘贴剪贴板的内容\n粘贴", "Ctrl+V", CS::View, ER::CanPaste, CR::None, 0},
    {33036, E, "粘贴谱表(&S)", "在插入点粘贴剪贴板上的谱表\n粘贴谱表", "", CS::View, ER::CanPaste, CR::None, 0},
    {33007, E, "只粘贴音符(&O)", "在插入点只粘贴音符和休止符\n粘贴音符", "", CS::View, ER::CanPaste, CR::None, 0},
    {57632, E, "删除(&D)", "删除选中的对象\n删除", "Del", CS::View, ER::HasSelection, CR::None, 0},
    {57642, E, "全部选中(&A)", "选中全部对象\n全选", "Ctrl+A", CS::View, ER::HasDocument, CR::None, SEP},
    {33049, E, "取消选择(&U)", "取消全部选择\n取消选择", "", CS::View, ER::HasDocument, CR::None, 0},
    {33051, E, "反向选择(&V)", "选中未选的对象，取消已选的对象\n反向选择", "", CS::View, ER::HasDocument, CR::None, 0},
    {32993, E, "选择音符(&N)", "选择中只保留音符\n选择音符", "", CS::View, ER::HasSelection, CR::None, 0},
    {32994, E, "选择休止符(&R)", "选择中只保留休止符\n选择休止符", "", CS::View, ER::HasSelection, CR::None, 0},
    {32995, E, "选择音符和休止符(&O)", "选择中只保留音符和休止符\n选择音符和休止符", "", CS::View, ER::HasSelection, CR::None, 0},
    {33050, E, "选择区域(&R)", "选中选择对象所覆盖区域里的全部对象\n选择区域", "", CS::View, ER::HasSelection, CR::None, 0},
    {33052, E, "选择层(&L)...", "选中一个图层的全部对象\n选择层", "", CS::View, ER::HasDocument, CR::None, 0},
    {33053, E, "选择声部(&C)...", "选中一个声部的全部音符\n选择声部", "", CS::View, ER::HasDocument, CR::None, 0},
    {33055, E, "选择通道(&H)...", "选中一个通道的全部音符\n选择通道", "", CS::View, ER::HasDocument, CR::None, 0},
    {33061, E, "查找(&F)...", "查找对象\n查找", "Ctrl+F", CS::View, ER::Pending, CR::None, SEP},
    {33038, E, "变换层(&Y)...", "把选中的对象移到另一个图层\n变换层", "", CS::View, ER::Pending, CR::None, 0},
    {33100, E, "属性(&P)", "显示最后选中对象的属性\n属性", "Alt+Return", CS::View, ER::Pending, CR::None, 0},
    {32996, EA, "左对齐(&L)", "以主选对象的左边对齐\n左对齐", "", CS::View, ER::HasSelection, CR::None, 0},
    {32997, EA, "右对齐(&R)", "以主选对象的右边对齐\n右对齐", "", CS::View, ER::HasSelection, CR::None, 0},
    {32998, EA, "顶对齐(&T)", "以主选对象的顶边对齐\n顶对齐", "", CS::View, ER::HasSelection, CR::None, 0},
    {32999, EA, "底对齐(&B)", "以主选对象的顶边对齐\n底对齐", "", CS::View, ER::HasSelection, CR::None, 0},
    {33000, EA, "宽对齐(&W)", "与主选对象同宽\n宽对齐", "", CS::View, ER::HasSelection, CR::None, SEP},
    {33001, EA, "高对齐(&H)", "与主选对象同高\n高对齐", "", CS::View, ER::HasSelection, CR::None, 0},
    {33002, EA, "大小一致(&S)", "与主选对象大小一致\n大小一致", "", CS::View, ER::HasSelection, CR::None, 0},
    {33042, EO, "移动到最后面(&K)", "把选中的对象放到最后面\n移动到最后面", "", CS::View, ER::HasSelection, CR::None, 0},
    {33043, EO, "移动到最前面(&F)", "把选中的对象放到最前面\n移动到最前面", "", CS::View, ER::HasSelection, CR::None, 0},
    {33044, EO, "后置(&I)", "把选中的对象后移一层\n后置", "", CS::View, ER::HasSelection, CR::None, 0},
    {33045, EO, "前置(&O)", "把选中的对象前移一层\n前置", "", CS::View, ER::HasSelection, CR::None, 0},

    // 视图
    {59392, VB, "标准工具栏(&S)", "显示或隐藏标准工具栏\n标准工具栏", "", CS::Frame, ER::Always, CR::BarVisible, CHK},
    {32930, VB, "谱表工具栏(&T)", "显示或隐藏谱表工具栏\n谱表工具栏", "", CS::Frame, ER::Always, CR::BarVisible, CHK},
    {32931, VB, "音符工具栏(&N)", "显示或隐藏音符工具栏\n音符工具栏", "", CS::Frame, ER::Always, CR::BarVisible, CHK},
    {32938, VB, "音符操作工具栏(&O)", "显示或隐藏音符操作工具栏\n音符操作工具栏", "", CS::Frame, ER::Always, CR::BarVisible, CHK},
    {32934, VB, "标记工具栏(&M)", "显示或隐藏标记工具栏\n标记工具栏", "", CS::Frame, ER::Always, CR::BarVisible, CHK},
    {32937, VB, "力度记号工具栏(&D)", "显示或隐藏力度记号工具栏\n力度记号工具栏", "", CS::Frame, ER::Always, CR::BarVisible, CHK},
    {32936, VB, "现代记谱符号工具栏(&E)", "显示或隐藏现代记谱符号工具栏\n现代记谱符号工具栏", "", CS::Frame, ER::Always, CR::BarVisible, CHK},
    {33070, VB, "管理工具栏(&G)...", "管理工具栏\n管理工具栏", "", CS::Frame, ER::Always, CR::None, SEP},
    {59393, V, "状态栏(&B)", "显示或隐藏状态栏\n状态栏", "", CS::Frame, ER::Always, CR::BarVisible, CHK},
    {33096, V, "谱表视图(&S)", "选择和移动整个谱表\n谱表视图", "", CS::View, ER::HasDocument, CR::SelectionMode, CHK | SEP},
    {33097, V, "音符视图(&N)", "选择和移动音符\n音符视图", "", CS::View, ER::HasDocument, CR::SelectionMode, CHK},
    {33098, V, "图形视图(&G)", "选择和移动图形对象\n图形视图", "", CS::View, ER::HasDocument, CR::SelectionMode, CHK},
    {33005, V, "滚动到结尾(&E)", "滚动到乐谱的结尾\n滚动到结尾", "Ctrl+End", CS::View, ER::HasDocument, CR::None, SEP},
    {32964, V, "浏览(&N)", "在乐谱浏览器中打开乐谱\n浏览", "", CS::View, ER::HasDocument, CR::None, 0},
    {32942, V, "网格设置", "设置网格\n网格设置", "", CS::View, ER::HasDocument, CR::None, 0},

    // 插入
    {33116, I, "插入钢琴谱(&P)", "在插入点插入钢琴谱\n插入钢琴谱", "", CS::View, ER::HasDocument, CR::None, 0},
    {33121, I, "插入标准谱(&S)", "在插入点插入标准谱\n插入标准谱", "", CS::View, ER::HasDocument, CR::None, 0},
    {33122, I, "插入小节(&M)", "在插入点插入小节\n插入小节", "", CS::View, ER::HasDocument, CR::None, 0},
    {33112, I, "谱号(&C)...", "设置插入点所在小节的谱号\n谱号", "", CS::View, ER::Pending, CR::None, SEP},
    {33117, I, "调号(&K)...", "设置插入点所在小节的调号\n调号", "", CS::View, ER::Pending, CR::None, 0},
    {33114, I, "拍号(&T)...", "设置插入点所在小节的拍号\n拍号", "", CS::View, ER::Pending, CR::None, 0},
    {33006, I, "换行(&B)", "在插入点把系统谱换行\n换行", "", CS::View, ER::HasDocument, CR::None, SEP},
    {33080, I, "合并系统谱(&U)", "把选中的系统谱合并为一行\n合并系统谱", "", CS::View, ER::HasSelection, CR::None, 0},
    {34000, I, "整体插入钢琴谱", "整体插入钢琴谱\n整体插入钢琴谱", "", CS::View, ER::HasDocument, CR::Tool, CHK | SEP},
    {34001, I, "插入谱表", "插入谱表\n插入谱表", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34002, I, "小节线", "插入小节线\n小节线", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {36300, IT, "输入文字", "输入文字\n输入文字", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34009, IT, "文字链接", "插入文字链接\n文字链接", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34010, IT, "图片", "插入图片\n图片", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34013, IT, "输入倾斜的文本", "输入倾斜的文本\n输入倾斜的文本", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34012, IT, "插入MIDI事件", "插入MIDI事件\n插入MIDI事件", "", CS::View, ER::HasDocument, CR::Tool, CHK},

    // 音符
    {34301, NT, "全音符", "插入全音符\n全音符", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34302, NT, "二分音符", "插入二分音符\n二分音符", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34303, NT, "四分音符", "插入四分音符\n四分音符", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34304, NT, "八分音符", "插入八分音符\n八分音符", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34305, NT, "十六分音符", "插入十六分音符\n十六分音符", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34306, NT, "三十二分音符", "插入三十二分音符\n三十二分音符", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34309, NT, "装饰音", "插入装饰音\n装饰音", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34516, NT, "单附点", "插入的音符带一个附点\n单附点", "", CS::View, ER::HasDocument, CR::DotSingle, CHK | SEP},
    {34517, NT, "双附点", "插入的音符带两个附点\n双附点", "", CS::View, ER::HasDocument, CR::DotDouble, CHK},
    {34401, NR, "整小节休止", "插入整小节休止\n整小节休止", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34402, NR, "二分休止符", "插入二分休止符\n二分休止符", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34403, NR, "四分休止符", "插入四分休止符\n四分休止符", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34404, NR, "八分休止符", "插入八分休止符\n八分休止符", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34405, NR, "十六分休止符", "插入十六分休止符\n十六分休止符", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34406, NR, "三十二分休止符", "插入三十二分休止符\n三十二分休止符", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {33027, ND, "更新音符时值(&R)", "音符时值随记谱更新\n更新音符时值", "", CS::View, ER::HasSelection, CR::None, 0},
    {33087, ND, "更新播放时值(&R)", "播放时值随记谱更新\n更新播放时值", "", CS::View, ER::HasSelection, CR::None, 0},
    {33028, ND, "锁定音符时值(&L)", "锁定音符时值\n锁定音符时值", "", CS::View, ER::HasSelection, CR::None, 0},
    {33088, ND, "锁定播放时值(&L)", "锁定播放时值\n锁定播放时值", "", CS::View, ER::HasSelection, CR::None, 0},
    {33083, ND, "自定义时值(&C)...", "编辑音符的时值和播放时间\n自定义时值", "", CS::View, ER::Pending, CR::None, SEP},
    {33034, ND, "合并为附点音符(&J)", "两个音符合为一个附点音符\n合并为附点音符", "", CS::View, ER::HasSelection, CR::None, 0},
    {32977, ND, "休止符并入前一音符(&M)", "把休止符并入前一个音符\n休止符并入前一音符", "", CS::View, ER::HasSelection, CR::None, 0},
    {33033, NU, "三连音(&3)", "把选中的音符做成三连音\n三连音", "", CS::View, ER::HasSelection, CR::None, 0},
    {33030, NU, "五连音(&5)", "把选中的音符做成五连音\n五连音", "", CS::View, ER::HasSelection, CR::None, 0},
    {33031, NU, "六连音(&6)", "把选中的音符做成六连音\n六连音", "", CS::View, ER::HasSelection, CR::None, 0},
    {33032, NU, "七连音(&7)", "把选中的音符做成七连音\n七连音", "", CS::View, ER::HasSelection, CR::None, 0},
    {32969, NU, "均分一拍(&A)", "选中的音符均分一拍\n均分一拍", "", CS::View, ER::HasSelection, CR::None, SEP},
    {33084, NU, "自定义音符类型(&V)...", "自定义连音\n自定义音符类型", "", CS::View, ER::HasSelection, CR::None, 0},
    {33013, N, "升高八度(&A)", "选中的音符升高八度，加八度线\n升高八度", "", CS::View, ER::HasSelection, CR::None, SEP},
    {33014, N, "降低八度(&D)", "选中的音符降低八度，加八度线\n降低八度", "", CS::View, ER::HasSelection, CR::None, 0},
    {33017, NP, "更新音高(&F)", "音高随位置更新\n更新音高", "", CS::View, ER::HasSelection, CR::None, 0},
    {33018, NP, "锁定音高(&L)", "锁定音高\n锁定音高", "", CS::View, ER::HasSelection, CR::None, 0},
    {33019, NP, "更新力度(&R)", "力度随力度记号更新\n更新力度", "", CS::View, ER::HasSelection, CR::None, SEP},
    {32971, NP, "锁定力度(&L)", "锁定力度\n锁定力度", "", CS::View, ER::HasSelection, CR::None, 0},
    {33009, NS, "符干向上(&U)", "符干向上\n符干向上", "", CS::View, ER::HasSelection, CR::None, 0},
    {33008, NS, "符干向下(&D)", "符干向下\n符干向下", "", CS::View, ER::HasSelection, CR::None, 0},
    {33010, NS, "通常方向(&N)", "符干按位置自动定方向\n通常方向", "", CS::View, ER::HasSelection, CR::None, 0},
    {32961, NS, "自由分组(&G)", "选中的音符连成一组\n自由分组", "", CS::View, ER::HasSelection, CR::None, SEP},
    {33035, NS, "按拍分组(&B)", "选中的音符按拍连成组\n按拍分组", "", CS::View, ER::HasSelection, CR::None, 0},
    {32962, NS, "清除符尾连线(&V)", "清除选中音符的符尾连线\n清除符尾连线", "", CS::View, ER::HasSelection, CR::None, 0},
    {32959, NS, "锁定音符符尾(&S)", "锁定音符符尾\n锁定音符符尾", "", CS::View, ER::HasSelection, CR::None, 0},
    {33079, NS, "断开符尾连线&K)", "在选中的音符处断开符尾连线\n断开符尾连线", "", CS::View, ER::HasSelection, CR::None, 0},
    {33076, NS, "符尾向左(&L)", "符尾向左\n符尾向左", "", CS::View, ER::HasSelection, CR::None, SEP},
    {33078, NS, "符尾向右(&R)", "符尾向右\n符尾向右", "", CS::View, ER::HasSelection, CR::None, 0},
    {33089, NO, "制作前倚音(&F)", "选中的音符做成后面音符的倚音\n制作前倚音", "", CS::View, ER::HasSelection, CR::None, 0},
    {33090, NO, "制作后倚音(&F)", "选中的音符做成前面音符的后倚音\n制作后倚音", "", CS::View, ER::HasSelection, CR::None, 0},
    {32967, NO, "制作琶音(&A)", "选中的和弦做成琶音\n制作琶音", "", CS::View, ER::HasSelection, CR::None, 0},
    {32981, NO, "连奏(&L)", "选中的音符连奏\n连奏", "", CS::View, ER::HasSelection, CR::None, SEP},
    {32982, NO, "取消连奏(&5)", "取消连奏\n取消连奏", "", CS::View, ER::HasSelection, CR::None, 0},
    {33060, NO, "断奏(&2)", "给选中的音符加断奏记号\n断奏", "", CS::View, ER::HasSelection, CR::None, 0},
    {33094, NO, "刮奏(&G)", "在两个音符之间刮奏\n刮奏", "", CS::View, ER::HasSelection, CR::None, 0},
    {33095, NO, "音阶(&C)", "在两个音符之间填入音阶\n音阶", "", CS::View, ER::HasSelection, CR::None, 0},
    {33085, NO, "滑指(&S)", "音符依次在前一音符的播放结束时开始\n滑指", "", CS::View, ER::HasSelection, CR::None, 0},
    {33021, NO, "顿音(&4)", "\n顿音", "", CS::View, ER::Never, CR::None, SEP},
    {33024, NO, "保持时值(&1)", "\n保持时值", "", CS::View, ER::Never, CR::None, 0},
    {33020, NO, "延长", "\n延长", "", CS::View, ER::Never, CR::None, 0},
    {33025, NO, "上滑音", "\n上滑音", "", CS::View, ER::Never, CR::None, 0},
    {33026, NO, "下滑音", "\n下滑音", "", CS::View, ER::Never, CR::None, 0},
    {32983, N, "制作和弦(&O)", "选中的音符做成和弦\n制作和弦", "", CS::View, ER::HasSelection, CR::None, SEP},
    {32984, N, "分解和弦(&A)", "选中的和弦分解为单音\n分解和弦", "", CS::View, ER::HasSelection, CR::None, 0},
    {32985, N, "同音组合(&T)", "同音的音符连成延音\n同音组合", "", CS::View, ER::HasSelection, CR::None, 0},
    {33029, N, "取消同音组合(&B)", "取消延音\n取消同音组合", "", CS::View, ER::HasSelection, CR::None, 0},
    {32979, N, "绑定标记(&B)", "把选中的标记绑定到音符上\n绑定标记", "", CS::View, ER::HasSelection, CR::None, SEP},
    {32980, N, "取消绑定(&U)", "取消标记的绑定\n取消绑定", "", CS::View, ER::HasSelection, CR::None, 0},
    {32965, N, "声部(&C)...", "设置选中音符的声部\n声部", "", CS::View, ER::Pending, CR::None, SEP},
    {33039, N, "通道(&H)...", "设置选中音符的通道\n通道", "", CS::View, ER::Pending, CR::None, 0},
    {33201, NV, "声部1", "新音符放入声部1\n声部1", "", CS::Document, ER::HasDocument, CR::EditVoice, CHK},
    {33202, NV, "声部2", "新音符放入声部2\n声部2", "", CS::Document, ER::HasDocument, CR::EditVoice, CHK},
    {33203, NV, "声部3", "新音符放入声部3\n声部3", "", CS::Document, ER::HasDocument, CR::EditVoice, CHK},
    {33204, NV, "声部4", "新音符放入声部4\n声部4", "", CS::Document, ER::HasDocument, CR::EditVoice, CHK},
    {33205, NV, "声部5", "新音符放入声部5\n声部5", "", CS::Document, ER::HasDocument, CR::EditVoice, CHK},
    {33206, NV, "声部6", "新音符放入声部6\n声部6", "", CS::Document, ER::HasDocument, CR::EditVoice, CHK},
    {33207, NV, "声部7", "新音符放入声部7\n声部7", "", CS::Document, ER::HasDocument, CR::EditVoice, CHK},
    {33208, NV, "声部8", "新音符放入声部8\n声部8", "", CS::Document, ER::HasDocument, CR::EditVoice, CHK},

    // 符号
    {34005, SL, "连音线", "连音线,延音线\n连音线", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34100, SL, "渐强", "渐强标记\n渐强", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34101, SL, "渐弱", "渐弱标记\n渐弱", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34102, SL, "渐强渐弱", "渐强渐弱标记\n渐强渐弱", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34190, SL, "八度升降线", "八度升降线\n八度升降线", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34191, SL, "八度降线", "八度升降线\n八度降线", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34582, SL, "升八度", "升八度\n升八度", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34583, SL, "降八度", "降八度\n降八度", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34007, SL, "结束句标记", "结束句标记\n结束句标记", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34008, SL, "线段", "线段\n线段", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34590, SM, "断奏", "断奏记号\n断奏", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34588, SM, "保持", "保持记号\n保持", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34593, SM, "重音", "重音记号\n重音", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34604, SM, "记号104", "记号104\n记号104", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34605, SM, "记号105", "记号105\n记号105", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34606, SM, "楔形断奏(上)", "楔形断奏记号，在符头上方\n楔形断奏(上)", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34607, SM, "楔形断奏(下)", "楔形断奏记号，在符头下方\n楔形断奏(下)", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34502, SM, "升号", "升号\n升号", "", CS::View, ER::HasDocument, CR::Tool, CHK | SEP},
    {34501, SM, "降号", "降号\n降号", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34503, SM, "还原号", "还原号\n还原号", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34533, SM, "指法1", "指法1\n指法1", "", CS::View, ER::HasDocument, CR::Tool, CHK | SEP},
    {34534, SM, "指法2", "指法2\n指法2", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34535, SM, "指法3", "指法3\n指法3", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34536, SM, "指法4", "指法4\n指法4", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34537, SM, "指法5", "指法5\n指法5", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34521, SM, "踩下踏板", "踩下踏板\n踩下踏板", "", CS::View, ER::HasDocument, CR::Tool, CHK | SEP},
    {34522, SM, "放开踏板", "放开踏板\n放开踏板", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34560, SM, "震音", "震音记号\n震音", "", CS::View, ER::HasDocument, CR::Tool, CHK | SEP},
    {34561, SM, "三线震音", "三线震音记号\n三线震音", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {36366, SD, "p", "弱\np", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {36367, SD, "mp", "中弱\nmp", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {36368, SD, "mf", "中强\nmf", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {36369, SD, "f", "强\nf", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {36374, SD, "fp", "强后即弱\nfp", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34564, SN, "现代记号1", "现代记谱符号\n现代记号1", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34565, SN, "现代记号2", "现代记谱符号\n现代记号2", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34566, SN, "现代记号3", "现代记谱符号\n现代记号3", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {34567, SN, "现代记号4", "现代记谱符号\n现代记号4", "", CS::View, ER::HasDocument, CR::Tool, CHK},
    {31144, SN, "现代记号5", "现代记谱符号\n现代记号5", "", CS::View, ER::Pending, CR::None, 0},
    {31145, SN, "现代记号6", "现代记谱符号\n现代记号6", "", CS::View, ER::Pending, CR::None, 0},

    // 工具
    {32960, T, "播放(&P)", "打开Harbrine播放\n播放", "F5", CS::Document, ER::HasDocument, CR::None, 0},
    {33064, T, "选择播放(&S)", "在后台播放选中的部分\n选择播放", "", CS::Frame, ER::HasSelection, CR::None, 0},
    {32974, T, "MIDI键盘输入(&K)", "从MIDI键盘录入音符\nMIDI键盘输入", "", CS::Frame, ER::HasDocument, CR::None, 0},
    {32975, T, "停止(&T)", "停止播放或录音\n停止", "", CS::Frame, ER::Playing, CR::None, 0},
    {32947, T, "自动更正(&C)", "按记谱规则整理一遍乐谱\n自动更正", "", CS::View, ER::HasDocument, CR::None, SEP},
    {32953, T, "选项(&O)...", "设置编辑选项\n选项", "", CS::View, ER::Pending, CR::None, 0},
    {33110, T, "默认间距", "设置线距、谱表间距和系统谱间距\n默认间距", "", CS::View, ER::Pending, CR::None, 0},
    {33120, T, "页面设置", "设置页边距、纸张大小和小节号\n页面设置", "", CS::View, ER::Pending, CR::None, 0},
    {32956, T, "层(&L)...", "设置图层\n层", "", CS::View, ER::Pending, CR::None, 0},
    {32957, T, "字体(&F)...", "设置乐谱的字体表\n字体", "", CS::View, ER::Pending, CR::None, 0},
    {33063, T, "统计信息(&C)...", "显示乐谱的统计信息\n统计信息", "", CS::View, ER::Pending, CR::None, 0},
    {32970, T, "力度编辑器(&V)...", "编辑音符的力度\n力度编辑器", "", CS::View, ER::Pending, CR::None, SEP},
    {32972, T, "速度编辑器(&E)...", "编辑乐谱的速度\n速度编辑器", "", CS::View, ER::Pending, CR::None, 0},
    {33072, T, "字符表(&H)...", "插入音乐字符\n字符表", "", CS::View, ER::Pending, CR::None, 0},
    {33082, T, "和弦字典(&D)...", "按和弦字典转换和弦\n和弦字典", "", CS::View, ER::Pending, CR::None, 0},
    {33047, T, "线段长度(&G)", "显示选中线段的长度\n线段长度", "", CS::View, ER::Pending, CR::None, 0},
    {33075, T, "倾斜角度(&N)...", "设置倾斜文本的角度\n倾斜角度", "", CS::View, ER::Pending, CR::None, 0},
    {32958, TA, "音符对齐到谱位(&S)", "把每个音符移到最近的谱位上\n音符对齐到谱位", "", CS::View, ER::HasDocument, CR::None, 0},
    {32978, TA, "按时间排列(&T)", "按时间均匀排列音符\n按时间排列", "", CS::View, ER::HasSelection, CR::None, 0},
    {33059, TA, "分开过密音符(&C)", "分开靠得太近的音符\n分开过密音符", "", CS::View, ER::HasSelection, CR::None, 0},
    {33102, TA, "整理小节(&M)", "整理插入点所在小节的音符\n整理小节", "", CS::View, ER::HasDocument, CR::None, 0},
    {33062, TA, "修复和弦编号(&R)", "修复复制时断开的和弦编号\n修复和弦编号", "", CS::View, ER::HasDocument, CR::None, 0},
    {33069, TV, "更新视觉MIDI时间(&U)", "更新视觉MIDI对象的时间\n更新视觉MIDI时间", "", CS::View, ER::HasDocument, CR::None, 0},
    {33081, TV, "视觉MIDI类型(&K)...", "设置视觉MIDI对象的类型\n视觉MIDI类型", "", CS::View, ER::Pending, CR::None, 0},

    // 窗口
    {57648, W, "新建窗口(&N)", "为当前乐谱再开一个窗口\n新建窗口", "", CS::Frame, ER::HasDocument, CR::None, 0},
    {57650, W, "层叠(&C)", "层叠排列窗口\n层叠", "", CS::Frame, ER::HasDocument, CR::None, 0},
    {57651, W, "平铺(&T)", "平铺排列窗口\n平铺", "", CS::Frame, ER::HasDocument, CR::None, 0},
    {57649, W, "排列图标(&A)", "排列最小化窗口的图标\n排列图标", "", CS::Frame, ER::HasDocument, CR::None, 0},

    // 帮助
    {33071, H, "使用说明(&H)", "打开使用说明\n使用说明", "F1", CS::App, ER::Always, CR::None, 0},
    {33118, H, "产品主页(&W)", "打开产品主页\n产品主页", "", CS::App, ER::Always, CR::None, 0},
    {57664, H, "关于Brenvo作曲家(&A)...", "显示程序信息、版本号和版权\n关于", "", CS::App, ER::Always, CR::None, SEP},

    // On no menu: commands that do nothing, and one the toolbars may name.
    {33040, "", "", "", "", CS::View, ER::Never, CR::None, HID},
    {33041, "", "", "", "", CS::View, ER::Never, CR::None, HID},
    {33046, "", "", "", "", CS::View, ER::Never, CR::None, HID},
    {33037, "", "", "", "", CS::View, ER::Never, CR::None, HID},
};

}  // namespace

const std::vector<EditorCommand>& EditorCommands() { return kCommands; }

const EditorCommand* FindEditorCommand(int id) {
  static const std::unordered_map<int, const EditorCommand*> index = [] {
    std::unordered_map<int, const EditorCommand*> m;
    for (const EditorCommand& c : kCommands) m.emplace(c.Id, &c);
    return m;
  }();
  auto it = index.find(id);
  return it == index.end() ? nullptr : it->second;
}

bool IsEnabled(const EditorCommand& c, const CommandContext& x) {
  switch (c.Enable) {
    case EnableRule::Always: return true;
    case EnableRule::HasDocument: return x.HasDocument;
    case EnableRule::HasSelection: return x.HasDocument && x.HasSelection;
    case EnableRule::CanUndo: return x.HasDocument && x.CanUndo;
    case EnableRule::CanRedo: return x.HasDocument && x.CanRedo;
    case EnableRule::CanPaste: return x.HasDocument && x.ClipboardHasData;
    case EnableRule::Playing: return x.Playing;
    case EnableRule::Pending:
    case EnableRule::Never: return false;
  }
  return false;
}

bool IsChecked(const EditorCommand& c, const CommandContext& x) {
  switch (c.Check) {
    case CheckRule::None: return false;
    case CheckRule::Tool: return x.HasDocument && x.Tool == c.Id;
    case CheckRule::DotSingle: return x.HasDocument && x.DotSingle;
    case CheckRule::DotDouble: return x.HasDocument && x.DotDouble;
    case CheckRule::SelectionMode: return x.HasDocument && x.SelectionMode == c.Id - kIdModeStaff;
    case CheckRule::EditVoice: return x.HasDocument && x.EditVoice == c.Id - kIdVoice1;
    case CheckRule::BarVisible: return x.BarVisible && x.BarVisible(c.Id);
  }
  return false;
}

std::string PlainMenuText(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '&') {  // "&&" is a literal ampersand
      out += '&';
      ++i;
      continue;
    }
    // "(&X)" goes whole; a bare "&" before a letter just goes.
    if (!out.empty() && out.back() == '(' && i + 2 < text.size() && text[i + 2] == ')') {
      out.pop_back();
      i += 2;
    }
  }
  while (!out.empty() && out.back() == '.') out.pop_back();
  return out;
}

std::string StatusText(const EditorCommand& c) {
  std::string_view s = c.Status;
  return std::string(s.substr(0, s.find('\n')));
}

std::string ToolTipText(const EditorCommand& c) {
  std::string_view s = c.Status;
  const size_t nl = s.find('\n');
  if (nl != std::string_view::npos && nl + 1 < s.size()) return std::string(s.substr(nl + 1));
  return PlainMenuText(c.Text);
}

const std::vector<const char*>& MenuBarOrder() {
  static const std::vector<const char*> order = {F, E, V, I, N, S, T, W, H};
  return order;
}

namespace {
std::vector<int> Range(std::initializer_list<std::pair<int, int>> spans) {
  std::vector<int> ids;
  for (auto [a, b] : spans)
    for (int i = a; i <= b; ++i) ids.push_back(i);
  return ids;
}
}  // namespace

const std::vector<BuiltinToolBar>& BuiltinToolBars() {
  static const std::vector<BuiltinToolBar> bars = {
      {128, 59392, "标准工具栏",
       {57600, 57601, 57603, 0, 57635, 57634, 57637, 57632, 0, 33100, 32947, 0, 33097, 33096, 33098, 0, 32974,
        32960, 33064, 32975},
       1, true},
      {157, 32930, "谱表", {33116, 33121, 33122, 0, 33112, 33117, 33114, 36300, 34009, 34010}, 1, true},
      {137, 32931, "音符",
       [] {
         std::vector<int> b = {33201, 33202, 33203, 33204, 0};
         for (int i : Range({{34401, 34406}})) b.push_back(i);
         b.push_back(0);
         for (int i : Range({{34301, 34305}})) b.push_back(i);
         b.insert(b.end(), {33033, 0, 34516, 34517});
         return b;
       }(),
       2, true},
      {179, 32938, "", {33035, 32983, 33009, 33008, 32985, 0, 33076, 33078, 33079, 0, 34012, 0, 34013}, 2, true},
      {143, 32934, "标记",
       [] {
         std::vector<int> b = {34588, 34590, 34593};
         for (int i : Range({{34604, 34607}})) b.push_back(i);
         b.push_back(0);
         for (int i : Range({{34533, 34537}})) b.push_back(i);
         b.insert(b.end(), {0, 34521, 34522, 0, 34560, 34561});
         return b;
       }(),
       3, true},
      {156, 32937, "", {36366, 36367, 36368, 36369, 36374}, 3, true},
      {142, 32930, "符号", {34005, 34008, 34102, 34100, 34101, 0, 34190, 34191, 34007}, 3, true},
      {152, 32936, "现代记谱符号", {34564, 34565, 34566, 34567, 31144, 31145}, 4, false},
  };
  return bars;
}

const std::vector<int>& ContextMenuCommands() {
  static const std::vector<int> ids = {33100, 32947, 33064};
  return ids;
}
