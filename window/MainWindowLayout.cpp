// The regions of the main window, outermost first: tool bar, status bar,
// the input panel on the right and the plot panel filling the rest.
#include <QBoxLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>

#include "engine/RunControlCodes.h"
#include "window/ArrowPair.h"
#include "window/AlarmBanner.h"
#include "window/Faceplate.h"
#include "window/IndicesPanel.h"
#include "window/LedShape.h"
#include "window/MainWindow.h"
#include "window/PanelBinding.h"
#include "window/charts/TrendCharts.h"

namespace qx {
namespace {

const QColor kIndicatorGreen(0x00, 0x80, 0x00);

QWidget* Panel(const char* name, QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(name);
  return panel;
}

QLabel* Label(const QString& text, QWidget* parent, const char* name = nullptr) {
  auto* label = new QLabel(text, parent);
  if (name) label->setObjectName(name);
  return label;
}

// A gauge as a bar without text, filled in blue.
QProgressBar* Gauge(const char* name, int maximum, QWidget* parent) {
  auto* gauge = new QProgressBar(parent);
  gauge->setObjectName(name);
  gauge->setRange(0, maximum);
  gauge->setValue(0);
  gauge->setTextVisible(false);
  QPalette p = gauge->palette();
  p.setColor(QPalette::Highlight, Qt::blue);
  gauge->setPalette(p);
  return gauge;
}

// A region whose content has a fixed width (`across` horizontal) or height
// (vertical) and that scrolls the other way when the window is too small to
// show it whole, as on a 1024 x 768 screen; with room enough it shows no
// scroll bar. Across, it takes the content's size and, while the bar is
// shown, the bar's as well.
QScrollArea* ScrollWhenShort(const char* name, QWidget* content, Qt::Orientation across) {
  auto* area = new QScrollArea;
  area->setObjectName(name);
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(true);
  const bool fixedWidth = across == Qt::Horizontal;
  (fixedWidth ? area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff)
              : area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff));
  area->setWidget(content);
  QScrollBar* bar = fixedWidth ? area->verticalScrollBar() : area->horizontalScrollBar();
  const auto fit = [area, content, bar, fixedWidth] {
    const bool barShown = bar->maximum() > bar->minimum();
    if (fixedWidth)
      area->setFixedWidth(content->minimumWidth() + (barShown ? bar->sizeHint().width() : 0));
    else
      area->setFixedHeight(content->minimumHeight() + (barShown ? bar->sizeHint().height() : 0));
  };
  fit();
  QObject::connect(bar, &QScrollBar::rangeChanged, area, fit);
  return area;
}

}  // namespace

void TForm1::BuildStatusBar() {
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  setStatusBar(StatusBar1);
  for (int i = 0; i < 4; ++i) {
    auto* panel = new QLabel(StatusBar1);
    panel->setObjectName(QString("StatusPanel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAlignment(i == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    StatusBar1->addPermanentWidget(panel, i == 0 ? 1 : 0);
    statusPanels_[i] = panel;
  }
  statusPanels_[3]->setText(tr("Quorvanex Solutions LLC"));
  StatusBar1->setFixedHeight(19 + 4);

  // The gauge over panel 1, without text.
  CGauge2 = Gauge("CGauge2", 100, statusPanels_[1]);
  auto* inPanel = new QHBoxLayout(statusPanels_[1]);
  inPanel->setContentsMargins(3, 1, 3, 2);
  inPanel->addWidget(CGauge2);
}

QWidget* TForm1::BuildInputPanel() {
  PID_InputPanel = Panel("PID_InputPanel", this);
  PID_InputPanel->setFixedWidth(356);
  auto* column = new QVBoxLayout(PID_InputPanel);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  ModePage = new QTabWidget(PID_InputPanel);
  ModePage->setObjectName("ModePage");
  ModePage->setFixedHeight(294);
  SinglePID = BuildTuningPage();
  ModePage->addTab(SinglePID, tr("Single PID Tuning"));
  ModePage->tabBar()->hide();
  // The tab widget passes the focus to its tab bar, which stays hidden: as a
  // stop of its own it would hold Tab at the stop before it.
  ModePage->setFocusPolicy(Qt::NoFocus);
  column->addWidget(ModePage);

  ErrorPanel = BuildErrorPanel();
  column->addWidget(ErrorPanel, 1);
  column->addStretch(0);
  return ScrollWhenShort("PID_InputScroll", PID_InputPanel, Qt::Horizontal);
}

QWidget* TForm1::BuildErrorPanel() {
  auto* errorPanel = Panel("ErrorPanel", PID_InputPanel);
  auto* column = new QVBoxLayout(errorPanel);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  // The running indicator and "Stop Simulation".
  auto* exitPanel = Panel("cmd_exitPanel", errorPanel);
  exitPanel->setFixedHeight(93);
  auto* exitGrid = new QGridLayout(exitPanel);
  exitGrid->setContentsMargins(12, 8, 12, 8);
  SimLEDShape = new LedShape(13, kIndicatorGreen, exitPanel);
  SimLEDShape->setObjectName("SimLEDShape");
  SimRunningLabel = Label(tr("Simulation Running."), exitPanel, "SimRunningLabel");
  QFont bold = SimRunningLabel->font();
  bold.setBold(true);
  SimRunningLabel->setFont(bold);
  QPalette green = SimRunningLabel->palette();
  green.setColor(QPalette::WindowText, kIndicatorGreen);
  SimRunningLabel->setPalette(green);
  SimRunningLabel1 = Label(tr("Click 'Halt Simulation' to access Top ToolButtons"), exitPanel, "SimRunningLabel1");
  SimRunningLabel1->setWordWrap(true);
  cmd_exit = new QPushButton(tr("Stop Simulation"), exitPanel);
  cmd_exit->setObjectName("cmd_exit");
  exitGrid->addWidget(SimLEDShape, 0, 0);
  exitGrid->addWidget(SimRunningLabel, 0, 1);
  exitGrid->addWidget(cmd_exit, 0, 2, 2, 1, Qt::AlignRight | Qt::AlignVCenter);
  exitGrid->addWidget(SimRunningLabel1, 1, 0, 1, 2);
  exitGrid->setColumnStretch(1, 1);
  column->addWidget(exitPanel);

  // The process and disturbance models.
  auto* modelPanel = Panel("Panel9", errorPanel);
  modelPanel->setFixedHeight(149);
  auto* models = new QHBoxLayout(modelPanel);
  models->setContentsMargins(4, 2, 4, 2);
  auto* process = new QGroupBox(tr("Process Transfer Function"), modelPanel);
  process->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
  auto* processGrid = new QGridLayout(process);
  const char* processEdits[] = {"Delay", "Gain", "TimeConstant1", "TimeConstant2"};
  const char* processLabels[] = {QT_TR_NOOP("Delay"), QT_TR_NOOP("Gain"), QT_TR_NOOP("Tau1"), QT_TR_NOOP("Tau2")};
  for (int i = 0; i < 4; ++i) {
    processGrid->addWidget(Label(tr(processLabels[i]), process), i, 0);
    QLineEdit* edit = binding_->Edit(processEdits[i], process);
    edit->setFixedWidth(64);  // leaves the disturbance group room for its title
    processGrid->addWidget(edit, i, 1);
  }
  auto* disturbance = new QGroupBox(tr("Disturbance Transfer Function"), modelPanel);
  auto* disturbanceGrid = new QGridLayout(disturbance);
  const char* disturbanceEdits[] = {"DisturbanceDeadTime", "DisturbanceGain", "DisturbanceTimeConstant"};
  const char* disturbanceLabels[] = {QT_TR_NOOP("Delay :"), QT_TR_NOOP("Gain :"), QT_TR_NOOP("Time Constant :")};
  for (int i = 0; i < 3; ++i) {
    disturbanceGrid->addWidget(Label(tr(disturbanceLabels[i]), disturbance), i, 0);
    disturbanceGrid->addWidget(binding_->Edit(disturbanceEdits[i], disturbance), i, 1);
  }
  disturbanceGrid->setRowStretch(3, 1);
  // Both titles fit side by side in the panel's width only a point smaller;
  // the labels and edits inside keep the window's font.
  QFont titleFont = modelPanel->font();
  titleFont.setPointSizeF(titleFont.pointSizeF() - 1);
  for (QGroupBox* group : {process, disturbance}) {
    const QFont inside = group->font();
    group->setFont(titleFont);
    for (QWidget* child : group->findChildren<QWidget*>()) child->setFont(inside);
  }
  models->setSpacing(4);
  models->addWidget(process);
  models->addWidget(disturbance, 1);
  column->addWidget(modelPanel);
  column->addStretch(1);

  // The speed control.
  auto* speedPanel = Panel("Panel3", errorPanel);
  speedPanel->setFixedHeight(90);
  auto* speedGrid = new QGridLayout(speedPanel);
  speedGrid->setContentsMargins(12, 4, 12, 6);
  auto* speedTitle = Label(tr("Simulation Speed"), speedPanel);
  speedTitle->setFont(bold);
  CGauge1 = Gauge("CGauge1", kSlowestSpeedLevel, speedPanel);
  CGauge1->setFixedHeight(16);
  UpDown1 = new ArrowPair(Qt::Horizontal, "UpDown1", speedPanel);
  UpDown1->setToolTip(tr("Decrease/ Increase Simulation Speed"));
  UpDown1->TakeKeyboardFocus();
  UpDown1->setProperty("Position", 0);
  Normal = new QPushButton(tr("Normal"), speedPanel);
  Normal->setObjectName("Normal");
  Normal->setToolTip(tr("Normal Speed"));
  speedGrid->addWidget(speedTitle, 0, 0, 1, 3, Qt::AlignHCenter);
  speedGrid->addWidget(Label(tr("Slower"), speedPanel), 1, 0, Qt::AlignLeft);
  speedGrid->addWidget(CGauge1, 1, 1);
  speedGrid->addWidget(Label(tr("Faster"), speedPanel), 1, 2, Qt::AlignRight);
  auto* speedButtons = new QHBoxLayout;
  speedButtons->addStretch(1);
  speedButtons->addWidget(UpDown1);
  speedButtons->addSpacing(12);
  speedButtons->addWidget(Normal);
  speedButtons->addStretch(1);
  speedGrid->addLayout(speedButtons, 2, 0, 1, 3);
  speedGrid->setColumnStretch(1, 1);
  column->addWidget(speedPanel);
  return errorPanel;
}

QWidget* TForm1::BuildPlotPanel() {
  auto* plotPanel = Panel("PlotPanel", this);
  auto* column = new QVBoxLayout(plotPanel);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* diagram = Panel("DiagramParentPanel", plotPanel);
  diagram->setFixedHeight(317);
  auto* diagramRow = new QHBoxLayout(diagram);
  diagramRow->setContentsMargins(0, 0, 0, 0);
  diagramRow->setSpacing(0);
  SignalsPanel = BuildSignalsPanel();
  SignalsPanel->setParent(diagram);
  diagramRow->addWidget(SignalsPanel);

  auto* configuration = Panel("Panel8", diagram);
  auto* configurationColumn = new QVBoxLayout(configuration);
  configurationColumn->setContentsMargins(0, 0, 0, 0);
  configurationColumn->setSpacing(0);
  configurationColumn->addWidget(BuildConfigurationPages(), 1);
  auto* applyPanel = Panel("Panel4", configuration);
  applyPanel->setFixedHeight(44);
  auto* applyRow = new QHBoxLayout(applyPanel);
  applyRow->setContentsMargins(4, 4, 8, 4);
  applyRow->addStretch(1);
  ApplyChangesButton = new QPushButton(tr("Apply Changes"), applyPanel);
  ApplyChangesButton->setObjectName("ApplyChangesButton");
  applyRow->addWidget(ApplyChangesButton);
  configurationColumn->addWidget(applyPanel);
  diagramRow->addWidget(configuration, 1);

  TwoPlotsPanel = new QFrame(plotPanel);
  TwoPlotsPanel->setObjectName("TwoPlotsPanel");
  TwoPlotsPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* plots = new QVBoxLayout(TwoPlotsPanel);
  plots->setContentsMargins(4, 4, 4, 4);
  TwoPlot1 = new TrendCharts(Plot_PointDisplayLabel, TwoPlotsPanel);
  LoopFaceplate = new Faceplate(TwoPlotsPanel);
  auto* trendRow = new QHBoxLayout;
  trendRow->setSpacing(4);
  trendRow->addWidget(TwoPlot1, 1);
  trendRow->addWidget(LoopFaceplate);
  plots->addLayout(trendRow, 1);
  Alarms = new AlarmBanner(TwoPlotsPanel);
  Alarms->SetActions(AcknowledgeAlarms, AlarmLimitsAction);
  plots->addWidget(Alarms);
  Indices = new IndicesPanel(TwoPlotsPanel);
  plots->addWidget(Indices);

  auto* plotParent = Panel("PlotParentPanel", plotPanel);
  auto* parentColumn = new QVBoxLayout(plotParent);
  parentColumn->setContentsMargins(0, 0, 0, 0);
  parentColumn->setSpacing(0);
  // The signals and the configuration pages scroll sideways when the window
  // is narrower than they are; the charts below take the full width.
  QScrollArea* diagramScroll = ScrollWhenShort("DiagramScroll", diagram, Qt::Vertical);
  diagramScroll->setParent(plotParent);
  parentColumn->addWidget(diagramScroll);
  parentColumn->addWidget(TwoPlotsPanel, 1);
  parentColumn->addStretch(0);  // takes the space while the charts are hidden
  TwoPlotsPanel->setParent(plotParent);

  column->addWidget(plotParent, 1);
  column->addWidget(BuildBottomPanel());
  return plotPanel;
}

QWidget* TForm1::BuildBottomPanel() {
  BottomPanel = Panel("BottomPanel", this);
  BottomPanel->setFixedHeight(41);
  auto* row = new QHBoxLayout(BottomPanel);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);

  // "Current Directory" keeps left 116 and the width of its parent - 126.
  auto* directoryParent = Panel("CurrentDirectoryParent", BottomPanel);
  auto* directoryRow = new QHBoxLayout(directoryParent);
  directoryRow->setContentsMargins(6, 0, 10, 0);
  directoryRow->setSpacing(0);
  auto* clientsLabel = Label(tr("Total Client(s):"), directoryParent);
  StaticTextClients = Label("0", directoryParent, "StaticTextClients");
  auto* labels = new QWidget(directoryParent);
  auto* labelRow = new QHBoxLayout(labels);
  labelRow->setContentsMargins(0, 0, 0, 0);
  labelRow->setSpacing(4);
  labelRow->addWidget(clientsLabel);
  labelRow->addWidget(StaticTextClients);
  labelRow->addStretch(1);
  labels->setFixedWidth(110);
  CurrentDirectory = new QLineEdit(directoryParent);
  CurrentDirectory->setObjectName("CurrentDirectory");
  CurrentDirectory->setToolTip(tr("Current Directory"));
  CurrentDirectory->setReadOnly(true);
  CurrentDirectory->setFocusPolicy(Qt::NoFocus);
  QPalette face = CurrentDirectory->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  CurrentDirectory->setPalette(face);
  directoryRow->addWidget(labels);
  directoryRow->addWidget(CurrentDirectory, 1);
  row->addWidget(directoryParent, 1);

  auto* timeParent = Panel("SimulationTimeParent", BottomPanel);
  timeParent->setFixedWidth(447);
  auto* timeRow = new QHBoxLayout(timeParent);
  timeRow->setContentsMargins(8, 0, 8, 0);
  TrendScaleButton = new QPushButton(tr("Trend Scale Auto"), timeParent);
  TrendScaleButton->setObjectName("TrendScaleButton");
  TrendScaleButton->setToolTip(tr("Change Trends Scale"));
  TrendScaleButton->setMinimumWidth(130);
  SimTimeLabel = Label(tr("Simulation Time :"), timeParent, "SimTimeLabel");
  SimTime = binding_->Edit("SimTime", timeParent);
  SimTime->setFixedWidth(90);
  timeRow->addWidget(TrendScaleButton);
  timeRow->addStretch(1);
  timeRow->addWidget(SimTimeLabel);
  timeRow->addWidget(SimTime);
  row->addWidget(timeParent);
  return BottomPanel;
}

}  // namespace qx
