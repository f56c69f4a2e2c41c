#include "editor/app/application.h"

#include <QApplication>
#include <chrono>
#include <map>
#include <string_view>
#include <QDesktopServices>
#include <QFileInfo>
#include <QIcon>
#include <QScreen>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

#include "common/gbk.h"
#include "common/ini_file.h"
#include "common/paths.h"
#include "common/ui_host.h"
#include "editor/app/autosave.h"
#include "editor/app/recent_files.h"
#include "editor/commands/command_table.h"
#include "editor/dialogs/about_dialog.h"
#include "editor/app/addin_host.h"
#include "editor/app/score_document.h"
#include "editor/frame/bar_state.h"
#include "editor/frame/main_frame.h"
#include "editor/view/score_view.h"
#include "notation/glyph_table.h"
#include "platform/app_fonts.h"

namespace {
// Texts of Qt's file dialog that the shipped Chinese catalogue lacks.
class FallbackTranslator : public QTranslator {
 public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char*, int) const override {
    static const std::map<std::string, const char*> texts = {
        {"Folder", "文件夹"}, {"File", "文件"},     {"%1 File", "%1 文件"}, {"Drive", "驱动器"},
        {"Alias", "别名"},    {"Shortcut", "快捷方式"}, {"Unknown", "未知"},
    };
    if (std::string_view(context).find("FileIconProvider") == std::string_view::npos &&
        std::string_view(context) != "QFileSystemModel")
      return {};
    auto it = texts.find(source);
    return it == texts.end() ? QString() : QString::fromUtf8(it->second);
  }
};
}  // namespace

void PrepareChineseLocale() {
  // Dates in the file dialogs follow the system locale, read when the
  // application starts; the interface is Chinese, so are its dates.
  if (qEnvironmentVariableIsEmpty("LC_ALL") && qEnvironmentVariableIsEmpty("LC_TIME"))
    qputenv("LC_TIME", "zh_CN.UTF-8");
}

void InstallChineseTranslations(QApplication& app) {
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  app.installTranslator(new FallbackTranslator(&app));
  const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* name : {"qtbase_zh_CN", "qt_zh_CN"}) {
    auto* t = new QTranslator(&app);
    if (t->load(QString::fromLatin1(name), dir)) app.installTranslator(t);
    else delete t;
  }
}

void SetUpIconTheme() {
  QStringList paths = QIcon::themeSearchPaths();
  const QByteArray dirs = qgetenv("XDG_DATA_DIRS");
  for (const QString& d : QString::fromLocal8Bit(dirs.isEmpty() ? "/usr/local/share:/usr/share" : dirs).split(':'))
    if (!d.isEmpty() && !paths.contains(d + "/icons")) paths << d + "/icons";
  QIcon::setThemeSearchPaths(paths);
  if (QIcon::themeName().isEmpty() || QIcon::themeName() == "hicolor") QIcon::setThemeName("Adwaita");
}

namespace {
// A value of "quavix.ini" as UTF-8; empty when the file or key is missing.
std::string ProductSetting(const char* key) {
  IniFile ini;
  ini.Load(qx::ProgramPath("quavix.ini"));
  std::string value;
  if (!ini.GetString("Register", key, value)) return {};
  return qx::GbkToUtf8Lossy(value);
}
}  // namespace

void QuavixApp::Step(const char* name) {
  steps_.push_back(name);
  stepTimes_.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count());
}

QuavixApp::QuavixApp(UiHost& ui)
    : ui_(ui), openUrl_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

QuavixApp::~QuavixApp() {
  if (frame_) {
    Step("shutdown");
    // The tool bar layout while the frame still stands, then the frame; the
    // plug-ins go last, after every document they may have touched.
    if (addins_) addins_->SaveLayout(BarStatePath());
    if (autosave_) autosave_->Stop();
    frame_.reset();
  }
}

bool QuavixApp::Start(const QStringList& files, bool show) {
  // 1. The settings key; the recent-file list is four entries long.
  QCoreApplication::setOrganizationName("Quavix");
  QCoreApplication::setApplicationName("Score Edit");
  settings_ = std::make_unique<QSettings>();
  recent_ = std::make_unique<RecentFileList>(*settings_);
  Step("profile");
  // 2. The glyph table, and the music font drawn with it.
  if (!LoadCharList() || CharList().Empty()) ui_.MessageBox("文件 res\\charlist.dat 不存在.");
  RegisterMusicFont();
  Step("glyph table");
  // 3. The document template's strings: the application's title.
  QApplication::setApplicationDisplayName(QString::fromUtf8("Brenvo作曲家"));
  Step("template");
  // 4. The main frame.
  frame_ = std::make_unique<CMainFrame>(ui_);
  frame_->SetAppHandler([this](int id) { return OnCommand(id); });
  frame_->SetRecentFiles(recent_.get());
  Step("frame");
  // 5. The files named on the command line, each in its own window; one
  // that cannot be opened says why and the others still open.
  autosave_ = std::make_unique<Autosave>(*frame_, ui_);
  const bool recovered = autosave_->OfferRecovery() > 0;
  if (files.isEmpty()) {
    if (!recovered) frame_->NewDocument();
  } else {
    for (const QString& f : files) frame_->OpenDocumentFile(f.toStdString());
  }
  Step("command line");
  // 6. Shown maximised.
  if (show) {
    // Without a window manager (a bare X server) maximising does nothing:
    // the screen's free area is the window's place either way.
    if (QScreen* screen = QGuiApplication::primaryScreen()) frame_->setGeometry(screen->availableGeometry());
    frame_->showMaximized();
  }
  Step("show");
  // 7-8. The plug-ins and their tool bars, then the saved tool bar layout.
  addins_ = std::make_unique<AddinHost>(
      *frame_, ui_,
      [this]() -> CScore* {
        CScoreEditView* view = frame_->ActiveView();
        return view ? &view->Document().Score() : nullptr;
      },
      [](int id) {
        const EditorCommand* c = FindEditorCommand(id);
        return c ? QString::fromStdString(ToolTipText(*c)) : QString();
      });
  addins_->Start(qx::ProgramDirectory(), BarStatePath());
  Step("plug-ins and bar state");
  autosave_->Start();
  return true;
}

bool QuavixApp::OnCommand(int id) {
  switch (id) {
    case kIdFileNew: frame_->NewDocument(); return true;
    case kIdFileOpen:
      if (auto name = ui_.OpenFileName("Brenvo乐谱文件(*.q5s)|*.q5s|所有文件 (*.*)|*.*||", ".q5s"))
        frame_->OpenDocumentFile(*name);
      return true;
    case kIdImportMusicXml: {
      auto name = ui_.OpenFileName("MusicXML文件(*.musicxml *.xml *.mxl)|*.musicxml;*.xml;*.mxl|所有文件 (*.*)|*.*||",
                                   ".musicxml");
      if (!name) return true;
      auto doc = std::make_unique<CScoreEditDoc>(&ui_);
      std::string error, ignored;
      if (!doc->ImportMusicXml(*name, &error, &ignored)) {
        ui_.MessageBox("无法导入文件 " + *name + "\n" + error, "", UiHost::Icon::Warning);
        return true;
      }
      frame_->AddDocument(std::move(doc));
      if (!ignored.empty()) ui_.MessageBox(ignored, "", UiHost::Icon::Information);
      return true;
    }
    case kIdAppExit: frame_->close(); return true;
    case kIdAppAbout: ShowAbout(); return true;
    case kIdHelp: ShowHelp(); return true;
    case kIdHomepage: OpenHomepage(); return true;
    case kIdToolBarManager:
      if (addins_) addins_->ShowToolbarManager(frame_.get());
      return true;
    default: break;
  }
  if (id >= kIdAddinFirst && id < kIdAddinLimit) return addins_ && addins_->Run(id);
  return false;
}

void QuavixApp::ShowAbout() {
  AboutDialog dialog(QString::fromStdString(ProductSetting("ProductName")), frame_.get());
  dialog.exec();
}

void QuavixApp::ShowHelp() {
  const std::string path = qx::ProgramPath("help/index.htm");
  if (!QFileInfo(QString::fromStdString(path)).isFile()) {
    ui_.MessageBox("没有找到 help\\index.htm");
    return;
  }
  openUrl_(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void QuavixApp::OpenHomepage() {
  const std::string home = ProductSetting("Homepage");
  if (home.empty()) {
    ui_.MessageBox("未设置产品主页地址[Register/Homepage]");
    return;
  }
  openUrl_(QUrl(QString::fromStdString(home)));
}
