// The window's commands as actions shared by the tool bar and the menus:
// File (New Simulation, Open Case File, Save, the recent case files, Exit),
// Master (the master link's two commands) and Help (Help, Control
// Schematic, About), with the platform's standard keys. An action is the
// one place that holds whether its command is enabled; the tool buttons
// follow it.
#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include "app/Application.h"
#include "window/MainWindow.h"
#include "window/WindowHost.h"
#include "window/WindowSettings.h"
#include "window/side/ToolbarImages.h"

namespace qx {
namespace {

// The tool bar's buttons show their image only; their hint is the command.
constexpr int kToolBarImageSize = 16;
// Between two neighbouring buttons of the tool bar.
constexpr int kToolBarGap = 8;

// The platform's keys for `key`, or `fallback` where the platform binds
// none (Quit has no binding in the Windows key scheme, which the window
// systems without a desktop theme use).
QList<QKeySequence> StandardKeys(QKeySequence::StandardKey key, const QKeySequence& fallback) {
  const QList<QKeySequence> keys = QKeySequence::keyBindings(key);
  return keys.isEmpty() ? QList<QKeySequence>{fallback} : keys;
}

}  // namespace

QAction* TForm1::Command(const char* name, const QString& text, const QString& hint, int image,
                         const QKeySequence& keys) {
  auto* action = new QAction(ToolbarImage(image), text, this);
  action->setObjectName(name);
  action->setToolTip(hint);
  action->setShortcut(keys);
  toolBarCommands_->addAction(action);
  return action;
}

void TForm1::BuildCommands() {
  toolBarCommands_ = new QActionGroup(this);
  toolBarCommands_->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);

  OPCServerAction = Command("OPCServerAction", tr("Connect to QxOPCServer &MASTER"),
                            tr("Connect to QxOPCServer MASTER"), 7, QKeySequence());
  MasterConnectAction =
      Command("MasterConnectAction", tr("&Connect to Master"), tr("Connect to Master"), 8, QKeySequence());
  NewCaseFileAction =
      Command("NewCaseFileAction", tr("&New Simulation"), tr("New Simulation"), 0, QKeySequence::New);
  OpenCaseFileAction =
      Command("OpenCaseFileAction", tr("&Open Case File..."), tr("Open Case File"), 1, QKeySequence::Open);
  SaveCaseFileAction = Command("SaveCaseFileAction", tr("&Save..."), tr("Save"), 2, QKeySequence::Save);
  HelpAction = Command("HelpAction", tr("&Help"), tr("Help"), 3, QKeySequence::HelpContents);
  SchematicAction =
      Command("SchematicAction", tr("Control &Schematic"), tr("Control Schematic"), 4, QKeySequence());
  LoopDetailsAction =
      Command("LoopDetailsAction", tr("&About QxPCServer"), tr("About QxPCServer"), 5, QKeySequence());
  ExitAction = Command("ExitAction", tr("E&xit"), tr("Exit"), 6, QKeySequence());
  ExitAction->setShortcuts(StandardKeys(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)));
  SaveCaseFileAction->setEnabled(false);

  connect(NewCaseFileAction, &QAction::triggered, this, &TForm1::NewCaseFileClick);
  connect(OpenCaseFileAction, &QAction::triggered, this, &TForm1::OpenCaseFileClick);
  connect(SaveCaseFileAction, &QAction::triggered, this, &TForm1::SaveCaseFileClick);
  connect(HelpAction, &QAction::triggered, this, &TForm1::HelpClick);
  connect(SchematicAction, &QAction::triggered, this, &TForm1::SchematicClick);
  connect(LoopDetailsAction, &QAction::triggered, this, &TForm1::LoopDetailsClick);
  connect(ExitAction, &QAction::triggered, this, &TForm1::PIDTuningGuidelinesClick);
  connect(OPCServerAction, &QAction::triggered, this, &TForm1::OPCServerToolButtonClick);
  connect(MasterConnectAction, &QAction::triggered, this, &TForm1::MasterConnectToolButtonClick);

  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu");
  FileMenu = bar->addMenu(tr("&File"));
  FileMenu->setObjectName("FileMenu");
  FileMenu->addAction(NewCaseFileAction);
  FileMenu->addAction(OpenCaseFileAction);
  FileMenu->addAction(SaveCaseFileAction);
  recentSeparator_ = FileMenu->addSeparator();
  FileMenu->addSeparator();
  FileMenu->addAction(ExitAction);
  // Files deleted or moved since the menu was last shown go from the list.
  connect(FileMenu, &QMenu::aboutToShow, this, &TForm1::ShowRecentCaseFiles);
  ShowRecentCaseFiles();

  MasterMenu = bar->addMenu(tr("&Master"));
  MasterMenu->setObjectName("MasterMenu");
  MasterMenu->addAction(OPCServerAction);
  MasterMenu->addAction(MasterConnectAction);
}

void TForm1::BuildHelpMenu() {
  HelpMenu = menuBar()->addMenu(tr("&Help"));
  HelpMenu->setObjectName("HelpMenu");
  HelpMenu->addAction(HelpAction);
  HelpMenu->addAction(SchematicAction);
  HelpMenu->addSeparator();
  HelpMenu->addAction(LoopDetailsAction);
}

void TForm1::BuildToolBar() {
  IconToolBar = new QToolBar(this);
  IconToolBar->setObjectName("IconToolBar");
  IconToolBar->setMovable(false);
  IconToolBar->setFloatable(false);
  IconToolBar->setIconSize(QSize(kToolBarImageSize, kToolBarImageSize));
  IconToolBar->setContextMenuPolicy(Qt::PreventContextMenu);
  addToolBar(Qt::TopToolBarArea, IconToolBar);

  struct Button {
    const char* name;
    QAction* action;
    QToolButton** button;
  };
  const Button buttons[] = {
      {"OPCServerToolButton", OPCServerAction, &OPCServerToolButton},
      {"MasterConnectToolButton", MasterConnectAction, &MasterConnectToolButton},
      {"NewCaseFile", NewCaseFileAction, &NewCaseFile},
      {"OpenCaseFile", OpenCaseFileAction, &OpenCaseFile},
      {"SaveCaseFile", SaveCaseFileAction, &SaveCaseFile},
      {"Help", HelpAction, &Help},
      {"Schematic", SchematicAction, &Schematic},
      {"LoopDetails", LoopDetailsAction, &LoopDetails},
      {"PIDTuningGuidelines", ExitAction, &PIDTuningGuidelines},
  };
  bool first = true;
  for (const Button& b : buttons) {
    if (!first) {
      auto* gap = new QWidget(IconToolBar);
      gap->setFixedWidth(kToolBarGap);
      IconToolBar->addWidget(gap);
    }
    first = false;
    auto* button = new QToolButton(IconToolBar);
    button->setObjectName(b.name);
    button->setDefaultAction(b.action);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setAutoRaise(true);
    // The menus and their keys reach the commands from the keyboard.
    button->setFocusPolicy(Qt::NoFocus);
    IconToolBar->addWidget(button);
    *b.button = button;
  }
}

// The tool bar and the commands behind it, disabled during the start-up
// splash; each command keeps its own state for when they are enabled again.
void TForm1::EnableToolBar(bool enabled) {
  IconToolBar->setEnabled(enabled);
  toolBarCommands_->setEnabled(enabled);
  ShowRecentCaseFilesEnabled();
}

// The entries are made once and filled from the list each time: an entry
// may be the one whose command is running.
void TForm1::ShowRecentCaseFiles() {
  if (recentActions_.empty()) {
    FileMenu->setToolTipsVisible(true);
    QAction* before = FileMenu->actions().at(FileMenu->actions().indexOf(recentSeparator_) + 1);
    for (int i = 0; i < kRecentCaseFilesKept; ++i) {
      auto* action = new QAction(FileMenu);
      action->setObjectName(QString("RecentCaseFile%1").arg(i + 1));
      connect(action, &QAction::triggered, this, [this, action] { OpenRecentCaseFile(action->data().toString()); });
      FileMenu->insertAction(before, action);
      recentActions_.push_back(action);
    }
  }
  const QStringList paths = RecentCaseFiles();
  for (int i = 0; i < kRecentCaseFilesKept; ++i) {
    QAction* action = recentActions_[static_cast<std::size_t>(i)];
    const bool used = i < paths.size();
    action->setVisible(used);
    if (!used) continue;
    // "&1 name" ... "&8 name": the digit chooses the entry from the keyboard.
    action->setText(tr("&%1 %2").arg(i + 1).arg(QFileInfo(paths[i]).fileName()));
    action->setToolTip(QDir::toNativeSeparators(paths[i]));
    action->setData(paths[i]);
  }
  recentSeparator_->setVisible(!paths.isEmpty());
  ShowRecentCaseFilesEnabled();
}

// Like "Open Case File": disabled while a case is active and during the
// start-up splash.
void TForm1::ShowRecentCaseFilesEnabled() {
  const bool enabled = app_->Panel().Layout.OpenCaseFileEnabled && IconToolBar && IconToolBar->isEnabled();
  for (QAction* action : recentActions_) action->setEnabled(enabled);
}

// As "Open Case File" with this file chosen in the dialog: its folder becomes
// the working directory.
void TForm1::OpenRecentCaseFile(const QString& path) {
  const QFileInfo file(path);
  if (!QDir::setCurrent(file.absolutePath()))
    qWarning("QxOPCServer: cannot make %s the working directory", qPrintable(file.absolutePath()));
  RunCaseCommand([this, path] { app_->OpenCaseFile(QFile::encodeName(path).toStdString(), *runHost_); });
}

void TForm1::CaseFileUsed(const QString& path) {
  RememberCaseFile(path);
  ShowRecentCaseFiles();
}

}  // namespace qx
