// The main window TForm1: the tool bar, the tuning page and process model
// on the right, the disturbance signals and configuration pages, the trend
// charts, the status bar and the timers. Its handlers call the application
// layer and the operator panel logic; the window itself only shows the
// panel and forwards clicks and keys, so that it runs the same code as the
// headless runner.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/LoopSample.h"
#include "app/PanelActions.h"
#include "engine/RunHost.h"
#include "ui/OperatorPanel.h"
#include "ui/TrendTimeline.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QFrame;
class QKeyEvent;
class QKeySequence;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;

namespace qx {

namespace analysis {
struct FormSettings;
}

class Application;
class ArrowPair;
class ClickablePanel;
class IdentifyDialog;
class TuningMapDialog;
class IndicesPanel;
class AlarmBanner;
class Faceplate;
class LedShape;
class PanelBinding;
class Prompter;
class TAboutForm;
class TShcemeForm;
class TrendCharts;
struct TrendRow;
class WindowAppHost;
class WindowHost;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  // Builds the window and runs its creation handler (FormCreate). Every
  // box and dialog goes through `prompter`.
  explicit TForm1(Prompter& prompter, QWidget* parent = nullptr);
  ~TForm1() override;

  Application& App() { return *app_; }
  TrendCharts* Charts() const { return TwoPlot1; }

  // The start-up thread TInitThread: starts the OPC server at `endpoint`
  // while the window goes on. A failure to listen is reported on standard
  // error and in the status bar.
  void StartServerThread(const std::string& endpoint);

  // A case file to open, as "Open Case File" would, once the splash is over.
  void SetStartupCase(std::string path) { startupCase_ = std::move(path); }
  // Values each of the loop object's PV, SP and OP keeps (--history);
  // before StartServerThread.
  void SetLoopHistoryCapacity(std::size_t values);

  // The operator panel into the widgets: edits, radio groups, the mode
  // panel, spin buttons and the layout. Cheap when little changed.
  void ShowPanel();

  // What the run shows: the speed (6 - pause/100), the start and the end.
  void ShowSpeed(int level);
  void RunStarting();
  void RunEnded();
  // The nested wait between two steps ends early once this is true.
  bool PauseShouldEnd() const;

  void ShowCurrentDirectory(const QString& folder);
  void MovePointerToPlots();
  // Status bar panel 0.
  void ShowStatusText(const QString& text);
  // The master link's connect and disconnect events: hint and image of
  // MasterConnectToolButton.
  void ShowMasterLinkState(bool connected);

  // "Apply" of "Identify and Tune": types the settings into the P, I and D
  // edits and presses Enter in each, as the operator would.
  void ApplyTuning(const analysis::FormSettings& settings);
  // The run's steps that the charts show as steps span.First .. span.Last:
  // from the history, or while the trends are frozen from the steps taken
  // when they froze.
  std::vector<analysis::LoopSample> StepsShown(const StepSpan& span) const;
  IdentifyDialog* Identification() const { return identifyDialog_; }
  TuningMapDialog* TuningMap() const { return tuningMapDialog_; }

  // A case file loaded or saved: the File menu offers it first among the
  // recent case files.
  void CaseFileUsed(const QString& path);

 public slots:
  // Tool bar.
  void NewCaseFileClick();
  void OpenCaseFileClick();
  void SaveCaseFileClick();
  void HelpClick();
  void SchematicClick();
  void LoopDetailsClick();
  void PIDTuningGuidelinesClick();
  // The master link.
  void OPCServerToolButtonClick();
  void MasterConnectToolButtonClick();
  // Right panel.
  void cmd_exitClick();
  void manual_auto_selectClick();
  void CascadeModeCheckBoxClick();
  void UpDown1Click(bool faster);
  void NormalClick();
  void ApplyChangesButtonClick();
  // The Enter key anywhere in the window.
  void FormKeyDown();
  // Timers.
  void Timer1Timer();
  void Timer2Timer();
  void Timer3Timer();
  void ClientCountTimer();
  // The analysis menu.
  void IdentifyAndTuneClick();
  void TuningMapClick();
  void ClearStretchClick();
  void ExportTrendsClick();
  void SaveChartImageClick();
  void FreezeTrendsToggled(bool frozen);
  // The live indices and the faceplate, a few times a second while a run
  // goes on.
  void IndicesTimerTimer();
  // The alarms menu: acknowledge (then confirm) every alarm that waits for
  // it, and the case's alarm limits; the banner shows the states.
  void AcknowledgeAlarmsClick();
  void ConfirmAlarmsClick();
  void AlarmLimitsClick();
  void ShowAlarms();

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The window to the screen's top left corner unless it is maximised.
  void MoveToTopLeft();
  // A press on a disabled edit takes the focus from the edit that has it.
  void DisabledEditPressed(QObject* watched);
  // Building the window, region by region.
  void BuildCommands();
  QAction* Command(const char* name, const QString& text, const QString& hint, int image,
                   const QKeySequence& keys);
  void BuildHelpMenu();
  void BuildToolBar();
  void BuildStatusBar();
  QWidget* BuildInputPanel();
  QWidget* BuildTuningPage();
  QWidget* BuildErrorPanel();
  QWidget* BuildPlotPanel();
  QWidget* BuildBottomPanel();
  QWidget* BuildSignalsPanel();
  QWidget* BuildConfigurationPages();
  void BuildAnalysisMenu();
  void BuildAlarmsMenu();
  void BindHandlers();
  void SetEditTips();
  void EnableToolBar(bool enabled);
  void ShowRecentCaseFiles();
  void ShowRecentCaseFilesEnabled();
  void OpenRecentCaseFile(const QString& path);
  // Up and Down in the set-point, output and PV-noise edits press their
  // spin buttons.
  bool SpinKey(QObject* watched, const QKeyEvent& key);
  void Perform(PanelAction::Kind what, const char* name = nullptr);

  void FormCreate();
  void FormShow();
  void FormResize();
  bool FormCloseQuery();
  bool FormClose();
  void ShowIdleLayout();
  void ApplyLayout();
  void ShowModePanel();
  // Runs a case command; it returns when the run it starts has ended.
  void RunCaseCommand(const std::function<void()>& command);
  void FinishClose();
  void JoinStartUpThread();
  // The trend window's samples, the output in percent.
  std::vector<TrendRow> TrendRows();
  void TypeIntoEdit(const char* name, const QString& text);
  // Whether `key`, on its way to one of this window's widgets, is the
  // shortcut of an enabled entry of the Analysis or the Alarms menu. Such
  // keys go to the menu even from an edit whose own key bindings would take
  // them (X11 binds Ctrl+E to the end of the line, Ctrl+K to cutting it).
  bool AnalysisShortcut(QObject* watched, const QKeyEvent& key) const;

  Prompter& prompter_;
  std::unique_ptr<WindowAppHost> appHost_;
  std::unique_ptr<Application> app_;
  std::unique_ptr<WindowHost> runHost_;
  PanelBinding* binding_ = nullptr;
  std::thread initThread_;  // TInitThread
  std::optional<std::string> startupCase_;
  bool firstShow_ = true;
  bool closeAfterRun_ = false;  // a close was accepted while a run went on
  bool closing_ = false;        // the accepted close is being carried out
  int twoPlotsShown_ = -1;      // TwoPlotsPanel visibility last applied
  int pidPageShown_ = -1;       // SinglePIDPage index last applied
  int speedShown_ = 0;          // speed level last shown on CGauge1 and UpDown1
  // The mode panel and the layout as last applied: ShowPanel runs at every
  // step, and a step seldom changes either.
  struct ModePanelShown {
    std::string caption;
    unsigned colour = 0;
    bool setPointSpinVisible = false;
    bool setPointVisible = false;
    bool setPointSpinEnabled = false;
    bool outputSpinVisible = false;
    bool operator==(const ModePanelShown&) const = default;
  };
  std::optional<ModePanelShown> modePanelShown_;
  std::optional<PanelLayout> layoutShown_;

  // The commands, shared by the tool bar and the menus.
  QActionGroup* toolBarCommands_ = nullptr;
  QAction* OPCServerAction = nullptr;
  QAction* MasterConnectAction = nullptr;
  QAction* NewCaseFileAction = nullptr;
  QAction* OpenCaseFileAction = nullptr;
  QAction* SaveCaseFileAction = nullptr;
  QAction* HelpAction = nullptr;
  QAction* SchematicAction = nullptr;
  QAction* LoopDetailsAction = nullptr;
  QAction* ExitAction = nullptr;
  QMenu* FileMenu = nullptr;
  QMenu* MasterMenu = nullptr;
  QMenu* HelpMenu = nullptr;
  QAction* recentSeparator_ = nullptr;
  std::vector<QAction*> recentActions_;

  // Components, named as in the window's design.
  QToolBar* IconToolBar = nullptr;
  QToolButton* OPCServerToolButton = nullptr;
  QToolButton* MasterConnectToolButton = nullptr;
  QToolButton* NewCaseFile = nullptr;
  QToolButton* OpenCaseFile = nullptr;
  QToolButton* SaveCaseFile = nullptr;
  QToolButton* Help = nullptr;
  QToolButton* Schematic = nullptr;
  QToolButton* LoopDetails = nullptr;
  QToolButton* PIDTuningGuidelines = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  std::array<QLabel*, 4> statusPanels_{};
  QProgressBar* CGauge2 = nullptr;

  QWidget* PID_InputPanel = nullptr;
  QTabWidget* ModePage = nullptr;
  QWidget* SinglePID = nullptr;
  ClickablePanel* manual_auto_select = nullptr;
  QCheckBox* CascadeModeCheckBox = nullptr;
  ArrowPair* SingleSPNewUpDownCSpinButton = nullptr;
  ArrowPair* SingleOPNewUpDownCSpinButton = nullptr;
  ArrowPair* PVNoiseCSpinButton = nullptr;
  QWidget* ErrorPanel = nullptr;
  LedShape* SimLEDShape = nullptr;
  QLabel* LabelSP = nullptr;  // the caption goes with its edit in Manual
  QLabel* SimRunningLabel = nullptr;
  QLabel* SimRunningLabel1 = nullptr;
  QPushButton* cmd_exit = nullptr;
  QProgressBar* CGauge1 = nullptr;
  ArrowPair* UpDown1 = nullptr;
  QPushButton* Normal = nullptr;

  QWidget* BottomPanel = nullptr;
  QLabel* StaticTextClients = nullptr;
  QLineEdit* CurrentDirectory = nullptr;
  QPushButton* TrendScaleButton = nullptr;
  QLabel* SimTimeLabel = nullptr;
  QLineEdit* SimTime = nullptr;
  QWidget* SignalsPanel = nullptr;
  QLabel* Plot_PointDisplayLabel = nullptr;
  QTabWidget* PIDConfigPageControl = nullptr;
  QWidget* SinglePIDConfigTabSheet = nullptr;
  QTabWidget* SinglePIDPage = nullptr;
  QPushButton* ApplyChangesButton = nullptr;
  QFrame* TwoPlotsPanel = nullptr;
  TrendCharts* TwoPlot1 = nullptr;

  QTimer* Timer1 = nullptr;
  QTimer* Timer2 = nullptr;
  QTimer* Timer3 = nullptr;
  QTimer* clientTimer_ = nullptr;

  QMenu* AnalysisMenu = nullptr;
  QAction* IdentifyAndTune = nullptr;
  QAction* TuningMapAction = nullptr;
  QAction* ClearStretch = nullptr;
  QAction* ExportTrends = nullptr;
  QAction* SaveChartImage = nullptr;
  QAction* FreezeTrends = nullptr;
  QAction* CursorLine = nullptr;
  IndicesPanel* Indices = nullptr;
  Faceplate* LoopFaceplate = nullptr;
  QMenu* AlarmsMenu = nullptr;
  QAction* AcknowledgeAlarms = nullptr;
  QAction* ConfirmAlarms = nullptr;
  QAction* AlarmLimitsAction = nullptr;
  AlarmBanner* Alarms = nullptr;
  // The run's steps behind the frozen trends, taken when they froze: the
  // run goes on and its history moves past them.
  std::vector<analysis::LoopSample> frozenSteps_;
  QTimer* IndicesTimer = nullptr;
  IdentifyDialog* identifyDialog_ = nullptr;  // made at its first use
  TuningMapDialog* tuningMapDialog_ = nullptr;  // made at its first use

  TAboutForm* AboutForm = nullptr;
  TShcemeForm* ShcemeForm = nullptr;
};

}  // namespace qx
