#include "window/MainWindow.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "app/Application.h"
#include "app/LoopAnalysis.h"
#include "app/PanelActions.h"
#include "app/DecimalSeparator.h"
#include "opc/OPCServer.h"
#include "persistence/ConfigurationFile.h"
#include "ui/PanelLogic.h"
#include "window/AppText.h"
#include "window/ArrowPair.h"
#include "window/ClickablePanel.h"
#include "window/IdentifyDialog.h"
#include "window/TuningMapDialog.h"
#include "window/Faceplate.h"
#include "window/IndicesPanel.h"
#include "window/LedShape.h"
#include "window/PanelBinding.h"
#include "window/Prompter.h"
#include "window/WindowAppHost.h"
#include "window/WindowHost.h"
#include "window/WindowSettings.h"
#include "window/charts/TrendCharts.h"
#include "window/side/AboutWindow.h"
#include "window/side/SchematicWindow.h"
#include "window/side/ToolbarImages.h"

namespace qx {
namespace {

constexpr const char* kWindowCaption = QT_TRANSLATE_NOOP("qx::TForm1", "Quorvanex OPC Server SLAVE For Simulation");
constexpr const char* kHelpFile = "QxOPCServer Help.pdf";
const QColor kIndicatorGreen(0x00, 0x80, 0x00);
const QColor kModeText(0x00, 0x00, 0xFF);

QColor Rgb(unsigned rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

QTimer* Timer(const char* name, int interval, QObject* parent) {
  auto* timer = new QTimer(parent);
  timer->setObjectName(name);
  timer->setInterval(interval);
  return timer;
}

}  // namespace

TForm1::TForm1(Prompter& prompter, QWidget* parent) : QMainWindow(parent), prompter_(prompter) {
  setObjectName("TForm1");
  setWindowTitle(tr(kWindowCaption));
  appHost_ = std::make_unique<WindowAppHost>(prompter_, *this);
  app_ = std::make_unique<Application>(*appHost_, DecimalSeparatorFromEnvironment());
  runHost_ = std::make_unique<WindowHost>(*app_, *this, prompter_);
  app_->SetCommandRunHost(runHost_.get());
  binding_ = new PanelBinding(app_->Panel(), app_->Model(), this);
  binding_->SetChanged([this] { ShowPanel(); });

  BuildCommands();
  BuildAnalysisMenu();
  BuildAlarmsMenu();
  BuildHelpMenu();
  BuildToolBar();
  BuildStatusBar();
  auto* central = new QWidget(this);
  central->setObjectName("ClientArea");
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  // The input panel is made first: Tab starts at the tuning edits and goes
  // through the models and the speed control before the signals, the
  // configuration pages and the bottom panel.
  QWidget* inputPanel = BuildInputPanel();
  row->addWidget(BuildPlotPanel(), 1);
  row->addWidget(inputPanel);
  setCentralWidget(central);
  SetEditTips();

  // Hidden and disabled at design; the layouts show them.
  PID_InputPanel->hide();
  PID_InputPanel->setEnabled(false);
  BottomPanel->hide();
  BottomPanel->setEnabled(false);
  ErrorPanel->hide();
  TwoPlotsPanel->hide();
  ApplyChangesButton->hide();
  SimTimeLabel->hide();
  SimTime->hide();

  Timer1 = Timer("Timer1", 100, this);
  Timer2 = Timer("Timer2", 2000, this);
  Timer3 = Timer("Timer3", 600, this);
  clientTimer_ = Timer("ClientCountTimer", 1000, this);
  BindHandlers();
  qApp->installEventFilter(this);  // key preview: Enter anywhere in the window

  resize(1155, 732);
  RestoreWindowGeometry(*this);
  FormCreate();
  AboutForm = new TAboutForm(this);
  ShcemeForm = new TShcemeForm(this);
}

TForm1::~TForm1() {
  qApp->removeEventFilter(this);
  JoinStartUpThread();
  // The widgets go while the application still exists: the last focus
  // events and signals of a widget being destroyed still reach the panel.
  qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
  app_.reset();
}

void TForm1::BindHandlers() {
  connect(cmd_exit, &QPushButton::clicked, this, &TForm1::cmd_exitClick);
  connect(manual_auto_select, &ClickablePanel::clicked, this, &TForm1::manual_auto_selectClick);
  connect(CascadeModeCheckBox, &QCheckBox::clicked, this, &TForm1::CascadeModeCheckBoxClick);
  connect(UpDown1, &ArrowPair::increaseClicked, this, [this] { UpDown1Click(true); });
  connect(UpDown1, &ArrowPair::decreaseClicked, this, [this] { UpDown1Click(false); });
  connect(Normal, &QPushButton::clicked, this, &TForm1::NormalClick);
  connect(ApplyChangesButton, &QPushButton::clicked, this, &TForm1::ApplyChangesButtonClick);
  connect(TrendScaleButton, &QPushButton::clicked, this,
          [this] { TrendScaleButton->setText(TwoPlot1->TrendScaleButtonClick()); });
  connect(SinglePIDPage, &QTabWidget::currentChanged, this,
          [this](int page) { app_->Panel().Layout.SinglePIDPage = pidPageShown_ = page; });

  struct Spin {
    ArrowPair* buttons;
    const char* edit;
  };
  for (const Spin& spin : {Spin{SingleSPNewUpDownCSpinButton, "SingleSPNew"},
                           Spin{SingleOPNewUpDownCSpinButton, "SingleOPNew"},
                           Spin{PVNoiseCSpinButton, "PVNoise"}}) {
    const char* edit = spin.edit;
    connect(spin.buttons, &ArrowPair::increaseClicked, this,
            [this, edit] { Perform(PanelAction::Kind::SpinUp, edit); });
    connect(spin.buttons, &ArrowPair::decreaseClicked, this,
            [this, edit] { Perform(PanelAction::Kind::SpinDown, edit); });
  }

  connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
  connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
  connect(Timer3, &QTimer::timeout, this, &TForm1::Timer3Timer);
  connect(clientTimer_, &QTimer::timeout, this, &TForm1::ClientCountTimer);
  app_->SetClientWriteWake([this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          app_->DeliverClientWrites();
          ShowPanel();
          ShowAlarms();  // a client's acknowledgment while the loop is idle
        },
        Qt::QueuedConnection);
  });
  // The master link's events arrive on its client thread; an idle window
  // raises them on its own thread, a run between two steps.
  app_->SetMasterLinkWake([this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          app_->DeliverMasterLinkEvents();
          ShowPanel();
        },
        Qt::QueuedConnection);
  });
}

// --- Creation, first show, splash ---

void TForm1::FormCreate() {
  appHost_->SetBusyCursor(true);
  ShowCurrentDirectory(QString::fromStdString(ApplyConfigurationFile()));
  clientTimer_->start();
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Shows that the program asks for; a window restored from its minimised
  // state keeps the layout it had.
  if (!event->spontaneous()) FormShow();
}

void TForm1::FormShow() {
  if (firstShow_) {
    EnableToolBar(false);
    Timer1->start();
    firstShow_ = false;
  }
  ModePage->tabBar()->hide();
  PIDConfigPageControl->setTabText(0, tr("Single PID Configuration"));
  SinglePIDPage->setCurrentIndex(0);
  FormResize();
  CGauge2->setVisible(true);
  MoveToTopLeft();
  Plot_PointDisplayLabel->clear();
  ShowIdleLayout();
}

// A window opened maximised is left where the window manager put it: a move
// that reaches the window manager while it is still mapping and maximising
// the window can make it give the maximised state up.
void TForm1::MoveToTopLeft() {
  if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) return;
  move(0, 0);
}

void TForm1::Timer1Timer() {
  Timer1->stop();
  EnableToolBar(false);
  AboutForm->ShowSplash();
  Timer2->start();
}

void TForm1::Timer2Timer() {
  Timer1->stop();
  Timer2->stop();
  AboutForm->CloseSplash();
  AboutForm->OKBtn()->setVisible(true);
  activateWindow();  // the keys go to the main window again
  EnableToolBar(true);
  app_->StartUpState();
  MoveToTopLeft();
  ModePage->setCurrentWidget(SinglePID);
  PIDConfigPageControl->setCurrentWidget(SinglePIDConfigTabSheet);
  appHost_->SetBusyCursor(false);
  ShowPanel();
  if (startupCase_) {
    const std::string path = *std::exchange(startupCase_, std::nullopt);
    QTimer::singleShot(0, this, [this, path] {
      RunCaseCommand([this, &path] { app_->OpenCaseFile(path, *runHost_); });
    });
  }
}

// The running indicator: green and the button-face colour in turn.
void TForm1::Timer3Timer() {
  if (SimLEDShape->Colour() == kIndicatorGreen) {
    SimLEDShape->SetColour(palette().color(QPalette::Button));
  } else {
    SimLEDShape->SetColour(kIndicatorGreen);
    QPalette p = SimRunningLabel->palette();
    p.setColor(QPalette::WindowText, kIndicatorGreen);
    SimRunningLabel->setPalette(p);
  }
}

void TForm1::ClientCountTimer() {
  COPCServer* server = app_->Server();
  StaticTextClients->setText(QString::number(server ? server->ServerObjectCount() : 0));
}

// --- Sizes ---

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

// Panels 1 to 3 keep their widths; panel 0 takes what is left.
void TForm1::FormResize() {
  if (!StatusBar1) return;
  const int companyWidth = QFontMetrics(font()).horizontalAdvance(statusPanels_[3]->text()) + 40;
  statusPanels_[3]->setFixedWidth(companyWidth);
  statusPanels_[2]->setFixedWidth(150);
  statusPanels_[1]->setFixedWidth(100);
}

// --- Layouts and the panel ---

void TForm1::ShowIdleLayout() {
  qx::ShowIdleLayout(app_->Panel());
  EnableToolBar(true);
  PID_InputPanel->setVisible(true);
  BottomPanel->setVisible(true);
  ShowPanel();
}

void TForm1::ShowPanel() {
  binding_->ShowPanel();
  ShowModePanel();
  ApplyLayout();
}

void TForm1::ShowModePanel() {
  const OperatorPanel& panel = app_->Panel();
  // A click toggles the check box before the panel logic decides, so the
  // box is compared with the panel itself, not with what was last shown.
  if (CascadeModeCheckBox->isChecked() != panel.CascadeModeCheckBox)
    CascadeModeCheckBox->setChecked(panel.CascadeModeCheckBox);
  ModePanelShown now{panel.ModePanel.Caption,      panel.ModePanel.Colour,
                     panel.SingleSPNewSpinVisible, panel.SingleSPNew.Visible,
                     panel.SingleSPNew.Enabled,    panel.SingleOPNewSpinVisible};
  if (modePanelShown_ == now) return;
  // Recorded before the widgets are set: a widget that hides may move the
  // focus, and a bound edit that loses it shows the panel again from within.
  const ModePanelShown& shown = modePanelShown_.emplace(std::move(now));
  manual_auto_select->Show(AppText(shown.caption), Rgb(shown.colour), kModeText);
  SingleSPNewUpDownCSpinButton->setVisible(shown.setPointSpinVisible);
  LabelSP->setVisible(shown.setPointVisible);
  SingleSPNewUpDownCSpinButton->setEnabled(shown.setPointSpinEnabled);
  SingleOPNewUpDownCSpinButton->setVisible(shown.outputSpinVisible);
}

// The parts that the idle and case layouts switch, from the panel's layout
// flags; nothing is touched while the flags stay as last applied.
void TForm1::ApplyLayout() {
  const PanelLayout& l = app_->Panel().Layout;
  // The operator may turn the page without the panel logic: kept apart from
  // the flags, against the page last shown.
  if (pidPageShown_ != l.SinglePIDPage) {
    pidPageShown_ = l.SinglePIDPage;
    SinglePIDPage->setCurrentIndex(l.SinglePIDPage);
  }
  if (layoutShown_ == l) return;
  layoutShown_ = l;
  const bool caseActive = l.ModePageVisible;
  if (caseActive) {
    PID_InputPanel->setEnabled(true);
    BottomPanel->setEnabled(true);
    UpDown1->setEnabled(true);
    Normal->setEnabled(true);
  }
  ModePage->setVisible(caseActive);
  PIDConfigPageControl->setVisible(caseActive);
  ErrorPanel->setVisible(caseActive);
  SimTimeLabel->setVisible(caseActive);
  SimTime->setVisible(caseActive);

  if (twoPlotsShown_ != static_cast<int>(l.TwoPlotsPanelVisible)) {
    twoPlotsShown_ = l.TwoPlotsPanelVisible;
    if (!l.TwoPlotsPanelVisible) TwoPlot1->HideCharts();
    TwoPlotsPanel->setVisible(l.TwoPlotsPanelVisible);
    for (QAction* action : {IdentifyAndTune, TuningMapAction, ExportTrends, SaveChartImage, FreezeTrends})
      action->setEnabled(l.TwoPlotsPanelVisible);
  }
  TrendScaleButton->setVisible(l.TwoPlotsPanelVisible);
  SignalsPanel->setVisible(l.SignalsPanelVisible);
  ApplyChangesButton->setVisible(l.ApplyChangesButtonVisible);
  if (l.RunIndicatorOn != Timer3->isActive()) {
    if (l.RunIndicatorOn)
      Timer3->start();
    else
      Timer3->stop();
  }
  NewCaseFileAction->setEnabled(l.NewCaseFileEnabled);
  OpenCaseFileAction->setEnabled(l.OpenCaseFileEnabled);
  SaveCaseFileAction->setEnabled(l.SaveCaseFileEnabled);
  ShowRecentCaseFilesEnabled();
  if (!l.SimRunningLabel.empty()) SimRunningLabel->setText(AppText(l.SimRunningLabel));
  if (!l.SimRunningLabel1.empty()) SimRunningLabel1->setText(AppText(l.SimRunningLabel1));
}

void TForm1::ShowSpeed(int level) {
  if (level == speedShown_) return;
  speedShown_ = level;
  CGauge1->setValue(level);
  UpDown1->setProperty("Position", level);
}

void TForm1::RunStarting() {
  ShowPanel();
  appHost_->SetBusyCursor(false);
  TwoPlot1->SetTopRightCaption(tr("SP (SETPOINT)"));
  // A stretch, a fitted curve and a frozen picture belong to the trends of
  // the run before.
  FreezeTrends->setChecked(false);
  TwoPlot1->ClearStretch();
  TwoPlot1->HideFittedResponse();
  TwoPlot1->ClearReadout();
  Indices->Clear();
  LoopFaceplate->ShowLoop(app_->Model().SingleLoop);
  ShowAlarms();
  IndicesTimer->start();
  if (identifyDialog_) identifyDialog_->SetApplyAllowed(true);
  if (tuningMapDialog_) tuningMapDialog_->SetApplyAllowed(true);
}

void TForm1::RunEnded() {
  ShowPanel();
  IndicesTimer->stop();
  IndicesTimerTimer();  // the indices of the run's last window
  if (identifyDialog_) identifyDialog_->SetApplyAllowed(false);
  if (tuningMapDialog_) tuningMapDialog_->SetApplyAllowed(false);
  appHost_->SetBusyCursor(false);
  if (closeAfterRun_) QTimer::singleShot(0, this, &TForm1::FinishClose);
}

bool TForm1::PauseShouldEnd() const {
  return app_->Model().RunControl.StopRequested || closeAfterRun_;
}

void TForm1::ShowCurrentDirectory(const QString& folder) { CurrentDirectory->setText(folder); }

void TForm1::ShowStatusText(const QString& text) { statusPanels_[0]->setText(text); }

void TForm1::MovePointerToPlots() {
  const QPoint topCentre(TwoPlotsPanel->width() / 2, 0);
  QCursor::setPos(TwoPlotsPanel->mapToGlobal(topCentre));
}

// --- Commands ---

void TForm1::RunCaseCommand(const std::function<void()>& command) {
  command();
  ShowPanel();
}

void TForm1::NewCaseFileClick() {
  RunCaseCommand([this] { app_->NewCaseFileClick(*runHost_); });
}

void TForm1::OpenCaseFileClick() {
  RunCaseCommand([this] { app_->OpenCaseFileClick(*runHost_); });
}

void TForm1::SaveCaseFileClick() {
  app_->SaveCaseFileClick();
  ShowPanel();
}

void TForm1::HelpClick() {
  const QFileInfo help(QDir::current(), kHelpFile);
  if (help.exists())
    QDesktopServices::openUrl(QUrl::fromLocalFile(help.absoluteFilePath()));
  else
    prompter_.Information(tr("Help File Not Found: %1").arg(kHelpFile));
}

void TForm1::SchematicClick() { ShcemeForm->exec(); }

void TForm1::LoopDetailsClick() {
  AboutForm->OKBtn()->setVisible(true);
  AboutForm->exec();
}

void TForm1::PIDTuningGuidelinesClick() { close(); }

void TForm1::OPCServerToolButtonClick() {
  app_->OPCServerToolButtonClick();
  ShowPanel();
}

void TForm1::MasterConnectToolButtonClick() {
  app_->MasterConnectToolButtonClick();
  ShowPanel();
}

void TForm1::ShowMasterLinkState(bool connected) {
  MasterConnectAction->setText(connected ? tr("Dis&connect from Master") : tr("&Connect to Master"));
  MasterConnectAction->setToolTip(connected ? tr("Disconnect from Master") : tr("Connect to Master"));
  MasterConnectAction->setIcon(ToolbarImage(connected ? 9 : 8));
}

// The operator's actions run the same code as qxsim's scripted ones; the
// panel is shown again after each.
void TForm1::Perform(PanelAction::Kind what, const char* name) {
  PanelAction action;
  action.What = what;
  if (name) action.Name = name;
  PerformPanelAction(*app_, *runHost_, action);
  ShowPanel();
}

void TForm1::cmd_exitClick() { Perform(PanelAction::Kind::Stop); }

void TForm1::manual_auto_selectClick() { Perform(PanelAction::Kind::Mode); }

void TForm1::CascadeModeCheckBoxClick() { Perform(PanelAction::Kind::Cascade); }

void TForm1::UpDown1Click(bool faster) { Perform(faster ? PanelAction::Kind::Faster : PanelAction::Kind::Slower); }

void TForm1::NormalClick() { Perform(PanelAction::Kind::Normal); }

void TForm1::ApplyChangesButtonClick() { Perform(PanelAction::Kind::Apply); }

// --- Keys: Enter anywhere in the window reads every input ---

void TForm1::FormKeyDown() { Perform(PanelAction::Kind::Enter); }

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::ShortcutOverride && AnalysisShortcut(watched, *static_cast<QKeyEvent*>(event)))
    return true;  // left unaccepted: the menu's shortcut fires
  if (type == QEvent::KeyPress && SpinKey(watched, *static_cast<QKeyEvent*>(event))) return true;
  if (type == QEvent::MouseButtonPress) DisabledEditPressed(watched);
  if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && watched->isWidgetType()) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    // Only events on their way to one of this window's widgets, each once
    // (the filter sees an event again as it propagates to the parents).
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : this;
    if (enter && watched == target && target->window() == this)
      FormKeyDown();
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TForm1::SpinKey(QObject* watched, const QKeyEvent& key) {
  if (key.modifiers() != Qt::NoModifier && key.modifiers() != Qt::KeypadModifier) return false;
  if (key.key() != Qt::Key_Up && key.key() != Qt::Key_Down) return false;
  const struct {
    const char* edit;
    ArrowPair* spin;
  } spins[] = {{"SingleSPNew", SingleSPNewUpDownCSpinButton},
               {"SingleOPNew", SingleOPNewUpDownCSpinButton},
               {"PVNoise", PVNoiseCSpinButton}};
  for (const auto& s : spins) {
    if (watched->objectName() != QLatin1String(s.edit) || !watched->isWidgetType()) continue;
    // A hidden or disabled spin button does not act, whatever the keys say.
    if (!s.spin->isVisible() || !s.spin->isEnabled()) return false;
    QToolButton* button = key.key() == Qt::Key_Up ? s.spin->Increase() : s.spin->Decrease();
    button->click();
    return true;
  }
  return false;
}

// A press on a disabled edit (the output in Auto) moves no focus by itself,
// so what the operator types next would land in the edit that had the focus
// before. The press takes the focus from that edit: typing reaches no edit
// until one is clicked that takes it.
void TForm1::DisabledEditPressed(QObject* watched) {
  auto* edit = qobject_cast<QLineEdit*>(watched);
  if (!edit || edit->isEnabled() || edit->window() != this) return;
  QWidget* focused = QApplication::focusWidget();
  if (focused && focused != edit && focused->window() == this) focused->clearFocus();
}

// --- Start-up thread and closing ---

void TForm1::SetLoopHistoryCapacity(std::size_t values) { app_->SetLoopHistoryCapacity(values); }

void TForm1::StartServerThread(const std::string& endpoint) {
  initThread_ = std::thread([this, endpoint] {
    // Whatever the start throws is caught here: the window goes on without
    // a server and says why, in its status bar and on standard error.
    try {
      std::string error;
      try {
        if (app_->StartServer(endpoint, error)) {
          qInfo("QxOPCServer: serving OPC UA at %s", app_->Server()->ServedEndpointUrl().c_str());
          qInfo("QxOPCServer: OPC UA security: %s", app_->ServedSecurity().c_str());
          return;
        }
      } catch (const std::exception& e) {
        error = std::string("the OPC server did not start: ") + e.what();
      }
      qWarning("QxOPCServer: %s", error.c_str());
      QMetaObject::invokeMethod(this, [this, error] { ShowStatusText(AppText(error)); },
                                Qt::QueuedConnection);
    } catch (...) {
      qWarning("QxOPCServer: the OPC server did not start, and the reason could not be shown");
    }
  });
}

void TForm1::JoinStartUpThread() {
  if (initThread_.joinable()) initThread_.join();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->accept();
    return;
  }
  if (!FormCloseQuery() || !FormClose()) {
    event->ignore();
    ShowPanel();
    return;
  }
  if (app_->Sim().Run.Active) {
    // The run ends at its next step; nothing under it may go before that.
    event->ignore();
    closeAfterRun_ = true;
    return;
  }
  closing_ = true;
  SaveWindowGeometry(*this);
  event->accept();
  QCoreApplication::quit();
}

bool TForm1::FormCloseQuery() { return app_->FormCloseQuery(); }

bool TForm1::FormClose() {
  JoinStartUpThread();  // the server is not revoked while it is still starting
  return app_->FormClose();
}

void TForm1::FinishClose() {
  closing_ = true;
  SaveWindowGeometry(*this);
  close();
  QCoreApplication::quit();
}

}  // namespace qx
