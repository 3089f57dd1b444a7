#include "analyzer/main_f.h"

#include "calibration/BandCorrectionBuild.h"
#include "calibration/MicSystemStatus.h"
#include "io/ProgramFolder.h"
#include "io/UILanguage.h"
#include "io/VersionInfo.h"
#include "io/ini_data.h"
#include "widgets/ChartView.h"
#include "widgets/DisplayFormat.h"
#include "widgets/MessageService.h"
#include "widgets/VisualStyle.h"
#include "widgets/WindowLanguage.h"

#include <qcustomplot.h>

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLockFile>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QSocketNotifier>
#include <QStyle>
#include <QStandardPaths>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

bool TFMAnalyzer::BufferAdviceDue = true;

namespace {

QString Tr(const char* english, int id) { return QString::fromStdString(Translate(english, id)); }

const QColor kSeriesColors[4] = {QColor(0x00, 0xFF, 0x00), QColor(0xFF, 0xFF, 0x00), QColor(0xA6, 0xF0, 0xFF),
                                 QColor(0xFF, 0x00, 0xFF)};

// The instance lock lives as long as the window that took it.
std::unique_ptr<QLockFile>& InstanceLock()
{
  static std::unique_ptr<QLockFile> lock;
  return lock;
}

TRTATimeWeight TimeWeightOfIndex(int index)
{
  switch (index) {
    case 1:
      return twFast;
    case 2:
      return twSlow;
    case 3:
      return twRSE_Slow100;
    case 4:
      return twRSE_UltraSlow20Hz;
    default:
      return twImpulse;
  }
}

TFreqWeighting WeightingOfIndex(int index)
{
  switch (index) {
    case 1:
      return fwA;
    case 2:
      return fwC;
    default:
      return fwZ;
  }
}

QLabel* Heading(const QString& text, QWidget* parent)
{
  auto* label = new QLabel(text, parent);
  QFont f = label->font();
  f.setBold(true);
  label->setFont(f);
  return label;
}

QFrame* Section(QWidget* parent)
{
  auto* frame = new QFrame(parent);
  frame->setFrameShape(QFrame::StyledPanel);
  frame->setFrameShadow(QFrame::Sunken);
  return frame;
}

void Wait(int ms)
{
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

// =====================================================================================================
// Creation
// =====================================================================================================

TFMAnalyzer::TFMAnalyzer(const QStringList& arguments, QWidget* parent) : QMainWindow(parent), FArguments(arguments)
{
  setObjectName("FMAnalyzer");
  FAutoStart = arguments.contains("--start");
  BuildComponents();
  BuildMenus();
  FormCreate();
}

TFMAnalyzer::~TFMAnalyzer() { FormDestroy(); }

bool TFMAnalyzer::AlreadyRunning()
{
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty())
    folder = QDir::tempPath();
  QDir().mkpath(folder);
  auto lock = std::make_unique<QLockFile>(QDir(folder).filePath("Vemra__Inst"));
  // Held for the whole run, so never stale by age; a lock whose program has ended is taken over.
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0))
    return true;
  InstanceLock() = std::move(lock);
  return false;
}

void TFMAnalyzer::FormCreate()
{
  // Single instance.
  FOwnsInstanceLock = false;
  if (AlreadyRunning()) {
    TMessageService::Instance().Show(TMsgKind::Error, "Program already running!", TMsgButtons::Cancel);
    FTerminate = true;
  } else {
    FOwnsInstanceLock = true;
  }
  byMaxActiveChannels = 4;
  iSeriesTransparency = 0;

  Dispatcher = std::make_unique<TAudioDispatcher>(IniData.Pnoise_Testsignal, static_cast<float>(fsamplerate));
  asiohost = std::make_unique<TASIOHost>();
  Dispatcher->AttachTo(*asiohost);
  FNotifier = nullptr;
  if (Dispatcher->Messages.WakeupFd() >= 0) {
    FNotifier = new QSocketNotifier(Dispatcher->Messages.WakeupFd(), QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TFMAnalyzer::OnAudioMessages);
  } else {
    // No wake-up descriptor: look at the queue often instead.
    FPollTimer = new QTimer(this);
    FPollTimer->setInterval(10);
    connect(FPollTimer, &QTimer::timeout, this, &TFMAnalyzer::OnAudioMessages);
    FPollTimer->start();
  }

  Sweep_dauer_sec = 4;
  Sweep_fStart_Hz = 18;
  Sweep_fStop_Hz = 21000;
  ChannelUpdateMask = 15;

  // Driver list.
  DriverCombo->clear();
  for (const std::string& name : asiohost->DriverList())
    DriverCombo->addItem(QString::fromStdString(name));
  DriverCombo->setCurrentIndex(-1);
  DriverCombo->setPlaceholderText("Select an interface...");
  if (DriverCombo->count() == 0) {
    TMessageService::Error(Tr("No ASIO Driver present! Application Terminated!", 127));
    FTerminate = true;
  }

  const QString programFolder = QString::fromStdString(ProgramFolder());
  const QString configFolder = QString::fromStdString(ConfigFolder().string());
  CalibrationFileName = QDir(configFolder).filePath("Vemra.dlc");
  DefaultCalibrationFileName = QString::fromStdString(ResourceFolder()) + "Vemrad.dlc";

  ReadIniData();

  // Interface language.
  std::vector<std::string> args;
  for (const QString& a : FArguments)
    args.push_back(a.toStdString());
  if (UseGermanTexts(args, IsGermanUser())) {
    std::string notFound;
    if (LoadLanguageFile(ResourceFolder() + kLanguageFileName, true, &notFound))
      TWindowLanguage::Apply(this);
    else if (!notFound.empty())
      TMessageService::Instance().Show(TMsgKind::Plain, QString::fromStdString(notFound), TMsgButtons::Ok);
  }

  // Remembered interface.
  QString driverFailure;  // why it could not be loaded: shown in the status bar at the end
  stSetOpenFileDialogInitialDir.clear();
  const QString remembered = QString::fromStdString(IniData.ASIO_interface);
  if (remembered.isEmpty()) {
    TMessageService::Warning(Tr("Select an audio interface.", 128));
    cbSampletate->setCurrentIndex(0);
    stSetOpenFileDialogInitialDir = programFolder;
  } else {
    const int i = DriverCombo->findText(remembered, Qt::MatchExactly);
    if (i < 0) {
      TMessageService::Warning(Tr("Last interface <", 129) + remembered +
                               Tr("> not found. Select a new audio interface.", 130));
      cbSampletate->setCurrentIndex(0);
    } else {
      DriverCombo->setCurrentIndex(i);
      try {
        asiohost->SetDriverIndex(i);
      } catch (const std::exception& e) {
        // The interface is treated as not connected; the first activation says so, and the reason
        // stays in the status bar (shown once the channel assignment has been written there).
        driverFailure = QString::fromStdString(e.what());
      }
    }
  }

  byChannelCountIn = asiohost->DriverIndex() >= 0 ? std::min(asiohost->InputChannelCount(), 10) : 0;
  byChannelCountOut = asiohost->DriverIndex() >= 0 ? asiohost->OutputChannelCount() : 0;

  InitChannelLists();

  IniData.ASIO_samplerate = "48000";
  FillSampleRates(48000);
  fsamplerate = 48000.0;

  // Bar layout and hidden channels.
  QToolButton* layoutButton = IniData.RTA_BarType == 1   ? sbChartSetSide
                              : IniData.RTA_BarType == 2 ? sbChartSet3D
                                                         : sbChartSetStd;
  layoutButton->setChecked(true);
  sbChartSetStdClick(layoutButton);
  for (int k = 0; k < 4; ++k) {
    const bool hidden = (IniData.RTA_Hide >> k) & 1;
    sbRTAHide[k]->setChecked(hidden);
    AnalyserChart1->SetTransparency(k, hidden ? 100 : VisibleTransparency(k));
  }

  // Measured channel and cursor channel.
  cbCHannelMEss->setCurrentIndex(std::clamp(IniData.ASIO_Messkanalkombi, 0, 3));
  cbCHannelMEssChange();
  cbCursorChannel->setCurrentIndex(byASIOMesskanalStart);
  cbCursorChannelChange();

  cbSetSmooth->setCurrentIndex(std::clamp(IniData.RTA_Speed, 0, cbSetSmooth->count() - 1));
  cbOktave->setCurrentIndex(std::clamp(IniData.RTA_Octave, 0, cbOktave->count() - 1));
  ShowMicSystemStatus();

  // Window geometry against the real screen.
  QRect screen(0, 0, 1920, 1080);
  if (QScreen* s = QGuiApplication::primaryScreen())
    screen = s->geometry();
  MakeGeometryPlausible(IniData, screen.width(), screen.height());
  move(IniData.screen_left, IniData.screen_top);
  resize(IniData.screen_width, IniData.screen_height);

  // A second instance that is about to end leaves the settings of the running one alone.
  if (!FTerminate)
    SaveSettings();
  cbACZ_Gewichtung->setCurrentIndex(std::clamp(IniData.RTA_ACZ_Bewertung, 0, 2));
  ApplyStyle();
  setWindowTitle("Vemra");
  if (!driverFailure.isEmpty())
    StatusPanels[2]->setText(driverFailure);
}

void TFMAnalyzer::BuildComponents()
{
  auto* central = new QWidget(this);
  setCentralWidget(central);
  auto* mainLayout = new QHBoxLayout(central);
  mainLayout->setContentsMargins(4, 4, 4, 4);
  mainLayout->setSpacing(4);

  // ---- control column: Start always in view, the settings below it scroll when the window is low ----
  auto* left = new QWidget(central);
  left->setObjectName("ControlColumn");
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->setSpacing(4);
  mainLayout->addWidget(left);
  auto* scroll = new QScrollArea(left);
  FControlScroll = scroll;
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* panel = new QWidget(scroll);
  scroll->setWidget(panel);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(2, 2, 2, 2);
  column->setSpacing(6);

  // Audio interface.
  {
    auto* sec = Section(panel);
    auto* l = new QGridLayout(sec);
    l->setContentsMargins(6, 4, 6, 6);
    auto* heading = Heading("Audio interface", sec);
    heading->setObjectName("Label2");
    TWindowLanguage::SetTag(heading, 110);
    l->addWidget(heading, 0, 0, 1, 2);
    DriverCombo = new QComboBox(sec);
    DriverCombo->setObjectName("DriverCombo");
    DriverCombo->setToolTip("Audio interface");
    DriverCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    DriverCombo->setMinimumContentsLength(12);
    l->addWidget(DriverCombo, 1, 0, 1, 2);
    Bt_CP = new QPushButton("ASIO Control...", sec);
    Bt_CP->setObjectName("Bt_CP");
    TWindowLanguage::SetTag(Bt_CP, 149);
    l->addWidget(Bt_CP, 2, 0, 1, 2);
    lbASIOBufferSize = new QLabel("ASIO Buffer Size", sec);
    lbASIOBufferSize->setObjectName("lbASIOBufferSize");
    TWindowLanguage::SetTag(lbASIOBufferSize, 109);
    l->addWidget(lbASIOBufferSize, 3, 0, 1, 2);
    cbSampletate = new QComboBox(sec);
    cbSampletate->setObjectName("cbSampletate");
    cbSampletate->addItems({"44100", "48000", "96000"});
    cbSampletate->setVisible(false);
    column->addWidget(sec);
    // Every list box reacts to `activated` and every button to `clicked`: only a person's choice runs a
    // handler, never an item or state the program sets itself.
    connect(DriverCombo, qOverload<int>(&QComboBox::activated), this, [this](int) { DriverComboChange(); });
    connect(Bt_CP, &QPushButton::clicked, this, &TFMAnalyzer::Bt_CPClick);
    connect(cbSampletate, qOverload<int>(&QComboBox::activated), this, [this](int) { cbSampletateChange(); });
  }

  // Analyzer settings.
  {
    auto* sec = Section(panel);
    auto* l = new QGridLayout(sec);
    l->setContentsMargins(6, 4, 6, 6);
    auto* octave = new QLabel("Octave", sec);
    octave->setObjectName("Label8");
    TWindowLanguage::SetTag(octave, 104);
    cbOktave = new QComboBox(sec);
    cbOktave->setObjectName("cbOktave");
    cbOktave->addItems({"1", "3", "6", "9", "12"});
    cbOktave->setToolTip("Bands per octave");
    auto* speed = new QLabel("Speed", sec);
    speed->setObjectName("lbspeed");
    TWindowLanguage::SetTag(speed, 105);
    cbSetSmooth = new QComboBox(sec);
    cbSetSmooth->setObjectName("cbSetSmooth");
    cbSetSmooth->addItems(
        {"Impuls (IEC)", "Fast (IEC)", "Slow (IEC)", "Smooth (fg 100Hz)", "Smooth (fg 20Hz)"});
    auto* weighting = new QLabel("Weighting", sec);
    cbACZ_Gewichtung = new QComboBox(sec);
    cbACZ_Gewichtung->setObjectName("cbACZ_Gewichtung");
    cbACZ_Gewichtung->addItems({"Z", "A", "C"});
    l->addWidget(octave, 0, 0);
    l->addWidget(cbOktave, 0, 1);
    l->addWidget(speed, 1, 0);
    l->addWidget(cbSetSmooth, 1, 1);
    l->addWidget(weighting, 2, 0);
    l->addWidget(cbACZ_Gewichtung, 2, 1);
    l->setColumnStretch(1, 1);
    column->addWidget(sec);
    connect(cbOktave, qOverload<int>(&QComboBox::activated), this, [this](int) { cbOktaveChange(); });
    connect(cbSetSmooth, qOverload<int>(&QComboBox::activated), this, [this](int) { cbSetSmoothChange(); });
    connect(cbACZ_Gewichtung, qOverload<int>(&QComboBox::activated), this,
            [this](int) { cbACZ_GewichtungChange(); });
  }

  // Channel assignment.
  {
    auto* sec = Section(panel);
    auto* l = new QGridLayout(sec);
    l->setContentsMargins(6, 4, 6, 6);
    Label5 = Heading("Assign channel 1..4 to input", sec);
    Label5->setObjectName("Label5");
    Label5->setWordWrap(true);
    Label5->setCursor(Qt::PointingHandCursor);
    Label5->setToolTip("Click to reset the measured channel");
    Label5->installEventFilter(this);
    TWindowLanguage::SetTag(Label5, 146);
    l->addWidget(Label5, 0, 0, 1, 4);
    for (int k = 0; k < 4; ++k) {
      auto* name = new QLabel(QString("Ch%1").arg(k + 1), sec);
      name->setStyleSheet(QString("QLabel { color: %1; background: #101010; padding: 1px 3px; border-radius: 2px; }")
                              .arg(kSeriesColors[k].name()));
      cbCHannelMEssIn[k] = new QComboBox(sec);
      cbCHannelMEssIn[k]->setObjectName(QString("cbCHannelMEss%1").arg(k + 1));
      l->addWidget(name, 1 + k / 2, (k % 2) * 2);
      l->addWidget(cbCHannelMEssIn[k], 1 + k / 2, (k % 2) * 2 + 1);
      connect(cbCHannelMEssIn[k], qOverload<int>(&QComboBox::activated), this,
              [this](int) { cbCHannelMEss1Change(); });
    }
    auto* measure = new QLabel("Measure", sec);
    cbCHannelMEss = new QComboBox(sec);
    cbCHannelMEss->setObjectName("cbCHannelMEss");
    cbCHannelMEss->addItems(DefaultChannelLabels);
    cbCHannelMEss->setToolTip("Channel measured live");
    l->addWidget(measure, 3, 0, 1, 2);
    l->addWidget(cbCHannelMEss, 3, 2, 1, 2);
    column->addWidget(sec);
    connect(cbCHannelMEss, qOverload<int>(&QComboBox::activated), this, [this](int) { cbCHannelMEssChange(); });
  }

  // Input levels.
  {
    auto* sec = Section(panel);
    auto* l = new QGridLayout(sec);
    l->setContentsMargins(6, 4, 6, 6);
    Label3 = Heading("Channel level", sec);
    Label3->setObjectName("Label3");
    Label3->setCursor(Qt::PointingHandCursor);
    Label3->installEventFilter(this);
    TWindowLanguage::SetTag(Label3, 111);
    l->addWidget(Label3, 0, 0, 1, 4);
    for (int k = 0; k < 4; ++k) {
      paK[k] = new QLabel(QString::number(k + 1), sec);
      paK[k]->setObjectName(QString("paK%1").arg(k + 1));
      paK[k]->setAlignment(Qt::AlignCenter);
      paK[k]->setMinimumHeight(22);
      paK[k]->setAutoFillBackground(true);
      paK[k]->setFrameShape(QFrame::Panel);
      paK[k]->setFrameShadow(QFrame::Sunken);
      l->addWidget(paK[k], 1, k);
    }
    column->addWidget(sec);
  }

  // Start / stop.
  {
    BT_Analyse1 = new QPushButton("Start", left);
    BT_Analyse1->setObjectName("BT_Analyse1");
    BT_Analyse1->setCheckable(true);
    BT_Analyse1->setMinimumHeight(40);
    QFont f = BT_Analyse1->font();
    f.setPointSize(f.pointSize() + 3);
    f.setBold(true);
    BT_Analyse1->setFont(f);
    BT_Analyse1->setStyleSheet(
        "QPushButton { color: white; border-radius: 4px; border: 1px solid #1f6a2a;"
        " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3cb050, stop:1 #237a32); }"
        "QPushButton:checked { border: 1px solid #7a1f1f;"
        " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #d84a4a, stop:1 #9a2626); }"
        "QPushButton:disabled { color: #d0d0d0; border: 1px solid #888;"
        " background: #a8a8a8; }");
    leftLayout->addWidget(BT_Analyse1);
    ProgressBar1 = new QProgressBar(left);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setMaximumHeight(8);
    leftLayout->addWidget(ProgressBar1);
    leftLayout->addWidget(scroll, 1);
    connect(BT_Analyse1, &QPushButton::clicked, this, [this](bool) { BT_Analyse1Click(); });
  }

  // Modules (their windows come with later versions of this program).
  {
    auto* sec = Section(panel);
    auto* l = new QVBoxLayout(sec);
    l->setContentsMargins(6, 4, 6, 6);
    sbModul_Generator = new QToolButton(sec);
    sbModul_Generator->setText("Generator module");
    sbModul_RoomAnalyzer = new QToolButton(sec);
    sbModul_RoomAnalyzer->setText("Room rating module");
    sbModul_yt = new QToolButton(sec);
    sbModul_yt->setText("YT module");
    for (QToolButton* b : {sbModul_Generator, sbModul_RoomAnalyzer, sbModul_yt}) {
      b->setEnabled(false);
      b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
      l->addWidget(b);
    }
    sbModul_Generator->setObjectName("sbModul_Generator");
    sbModul_RoomAnalyzer->setObjectName("sbModul_RoomAnalyzer");
    sbModul_yt->setObjectName("sbModul_yt");
    column->addWidget(sec);
  }
  column->addStretch(1);

  // ---- chart column ----
  auto* chartColumn = new QVBoxLayout();
  chartColumn->setSpacing(3);
  mainLayout->addLayout(chartColumn, 1);
  auto* tools = new QHBoxLayout();
  tools->setSpacing(3);
  chartColumn->addLayout(tools);
  auto* barFormat = new QLabel("Bar char format", central);
  barFormat->setObjectName("Label7");
  TWindowLanguage::SetTag(barFormat, 108);
  tools->addWidget(barFormat);
  auto makeTool = [&](const QString& text, const QString& name, const QString& hint) {
    auto* b = new QToolButton(central);
    b->setText(text);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setCheckable(true);
    tools->addWidget(b);
    return b;
  };
  sbChartSetStd = makeTool("Std", "sbChartSetStd", "Standard");
  sbChartSetSide = makeTool("Side", "sbChartSetSide", "Side by side");
  sbChartSet3D = makeTool("3D", "sbChartSet3D", "3D view");
  auto* layoutGroup = new QButtonGroup(this);
  layoutGroup->setExclusive(true);
  for (QToolButton* b : {sbChartSetStd, sbChartSetSide, sbChartSet3D}) {
    layoutGroup->addButton(b);
    connect(b, &QToolButton::clicked, this, [this, b](bool) { sbChartSetStdClick(b); });
  }
  tools->addSpacing(12);
  for (int k = 0; k < 4; ++k) {
    sbRTAHide[k] = makeTool(QString::number(k + 1), QString("sbRTA%1Hide").arg(k + 1),
                            QString("Hide chart of input %1").arg(k + 1));
    sbRTAHide[k]->setStyleSheet(QString("QToolButton { color: %1; background: #1a1a1a; }"
                                        "QToolButton:checked { color: #606060; background: #3a3a3a; }")
                                    .arg(kSeriesColors[k].name()));
    connect(sbRTAHide[k], &QToolButton::clicked, this, [this, k](bool) { sbRTA1HideClick(k); });
  }
  tools->addSpacing(12);
  sbCursorOnOff = makeTool("Cursor", "sbCursorOnOff", "View cursor for selected channel");
  connect(sbCursorOnOff, &QToolButton::clicked, this, [this](bool) { sbCursorOnOffClick(); });
  cbCursorChannel = new QComboBox(central);
  cbCursorChannel->setObjectName("cbCursorChannel");
  cbCursorChannel->addItems(DefaultChannelLabels);
  cbCursorChannel->setToolTip("Select input channel");
  tools->addWidget(cbCursorChannel);
  connect(cbCursorChannel, qOverload<int>(&QComboBox::activated), this, [this](int) { cbCursorChannelChange(); });
  tools->addStretch(1);

  auto* chartRow = new QHBoxLayout();
  chartRow->setSpacing(2);
  chartColumn->addLayout(chartRow, 1);
  AnalyserChart1 = new TChartView(central);
  AnalyserChart1->setObjectName("AnalyserChart1");
  AnalyserChart1->setMinimumSize(300, 200);
  chartRow->addWidget(AnalyserChart1, 1);
  for (int k = 0; k < 4; ++k)
    AnalyserChart1->AddBarSeries(QString("Ch%1").arg(k + 1), kSeriesColors[k]);
  AnalyserChart1->AddLineSeries("-", Qt::red, Qt::DashDotLine, 3);
  AnalyserChart1->SetTransparency(4, 100);
  AnalyserChart1->SetFrequencyAxis(20.0, 20000.0, "f(Hz)");
  AnalyserChart1->SetLevelAxis(-120.0, 0.0, 5.0, "dBFS");
  AnalyserChart1->SetCursorPen(QColor(0xFF, 0xFB, 0xF0), Qt::DashDotLine, 3);
  AnalyserChart1->SetZoomEnabled(true);
  QFont readoutFont = AnalyserChart1->font();
  readoutFont.setPointSize(readoutFont.pointSize() + 3);
  readoutFont.setBold(true);
  AnalyserChart1->SetAnnotationStyle(TChartView::TCorner::BottomRight, readoutFont, QColor(0, 0, 0, 200));
  QFont cursorFont = AnalyserChart1->font();
  cursorFont.setBold(true);
  AnalyserChart1->SetAnnotationStyle(TChartView::TCorner::BottomLeft, cursorFont, QColor(0, 0, 0, 200));
  connect(AnalyserChart1, &TChartView::CursorMoved, this, &TFMAnalyzer::ShowCursorValue);
  AnalyserChart1->Plot()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(AnalyserChart1->Plot(), &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { ChartPopup->exec(AnalyserChart1->Plot()->mapToGlobal(pos)); });

  // Offsets of the four channels.
  auto* offsets = new QGridLayout();
  offsets->setSpacing(1);
  chartRow->addLayout(offsets);
  for (int k = 0; k < 4; ++k) {
    trOffset[k] = new QSlider(Qt::Vertical, central);
    trOffset[k]->setObjectName(QString("trOffset%1").arg(k + 1));
    trOffset[k]->setRange(-20, 20);
    trOffset[k]->setValue(0);
    trOffset[k]->setInvertedAppearance(true);
    trOffset[k]->setTickPosition(QSlider::NoTicks);
    trOffset[k]->setStyleSheet(
        QString("QSlider::groove:vertical { background: #5a6068; width: 4px; border-radius: 2px; }"
                "QSlider::handle:vertical { background: %1; border: 1px solid #303030; height: 10px;"
                " margin: 0 -5px; border-radius: 3px; }")
            .arg(kSeriesColors[k].name()));
    trOffset[k]->setToolTip(QString("Move chart of input %1 in y direction. Press right mouse button for popup menu")
                                .arg(k + 1));
    trOffset[k]->setContextMenuPolicy(Qt::CustomContextMenu);
    auto* name = new QLabel(QString::number(k + 1), central);
    name->setAlignment(Qt::AlignCenter);
    name->setStyleSheet(QString("QLabel { color: %1; background: #101010; }").arg(kSeriesColors[k].name()));
    offsets->addWidget(name, 0, k);
    offsets->addWidget(trOffset[k], 1, k, Qt::AlignHCenter);
    connect(trOffset[k], &QSlider::valueChanged, this, [this, k](int) { trOffsetChange(k); });
    connect(trOffset[k], &QWidget::customContextMenuRequested, this,
            [this, k](const QPoint& pos) { OffsetPopup->exec(trOffset[k]->mapToGlobal(pos)); });
  }
  OffsetPopup = new QMenu(this);
  OffsetPopup->setObjectName("OffsetPopup");
  const char* offsetNames[4] = {"Ch1Offset01", "Ch2Offset0", "Ch3Offset01", "Ch4Offset01"};
  for (int c = 0; c < 4; ++c) {
    auto* a = new QAction(QString("Ch%1 Offset 0").arg(c + 1), this);
    a->setObjectName(offsetNames[c]);
    OffsetPopup->addAction(a);
    connect(a, &QAction::triggered, this, [this, c] { trOffset[c]->setValue(0); });
  }
  auto* allOffsets = new QAction("All Ch Offset 0", this);
  allOffsets->setObjectName("AllOffset01");
  TWindowLanguage::SetTag(allOffsets, 154);
  OffsetPopup->addAction(allOffsets);
  connect(allOffsets, &QAction::triggered, this, [this] {
    for (QSlider* s : trOffset)
      s->setValue(0);
  });

  // ---- status bar ----
  for (int i = 0; i < 4; ++i) {
    StatusPanels[i] = new QLabel(this);
    StatusPanels[i]->setObjectName(QString("StatusPanel%1").arg(i));
    StatusPanels[i]->setMinimumWidth(i < 2 ? 80 : 120);
    statusBar()->addWidget(StatusPanels[i], i == 3 ? 1 : 0);
  }

  TimerStyle = new QTimer(this);
  TimerStyle->setObjectName("TimerStyle");
  TimerStyle->setInterval(500);
  TimerStyle->setSingleShot(true);
  connect(TimerStyle, &QTimer::timeout, this, &TFMAnalyzer::TimerStyleTimer);

  for (QLabel* p : paK)
    p->setStyleSheet("QLabel { background: #C0C0C0; color: black; }");
}

void TFMAnalyzer::BuildMenus()
{
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu("File");
  file->setObjectName("File1");
  TWindowLanguage::SetTag(file, 101);
  auto addTagged = [this](QMenu* menu, const QString& text, const QString& name, int tag) {
    auto* a = new QAction(text, this);
    a->setObjectName(name);
    menu->addAction(a);
    if (tag > 0)
      TWindowLanguage::SetTag(a, tag);
    return a;
  };
  // Chart files and sound profiles come with a later version of this program.
  for (QAction* a : {addTagged(file, "Open", "Open1", 102), addTagged(file, "Save", "Save1", 103),
                     addTagged(file, "Load sound profile (Ch1)", "Overlay1", 147),
                     addTagged(file, "Save as sound profile (Ch1)", "SaveassoundprofileCh11", 155)})
    a->setEnabled(false);
  file->addSeparator();
  connect(addTagged(file, "PDF Export", "SavePDF1", 131), &QAction::triggered, this, &TFMAnalyzer::SavePDF1Click);
  connect(addTagged(file, "Print", "Print1", 132), &QAction::triggered, this, &TFMAnalyzer::Print1Click);
  connect(addTagged(file, "Clipboard", "Clipboard1", 133), &QAction::triggered, this,
          &TFMAnalyzer::Clipboard1Click);
  file->addSeparator();
  Quit1 = addTagged(file, "Quit", "Quit1", 134);
  connect(Quit1, &QAction::triggered, this, &TFMAnalyzer::Quit1Click);

  QMenu* unit = bar->addMenu("Unit");
  unit->setObjectName("Unit1");
  TWindowLanguage::SetTag(unit, 148);
  auto* unitGroup = new QActionGroup(this);
  dBFs1 = addTagged(unit, "dBFS", "dBFs1", 0);
  dBFSRMS1 = addTagged(unit, "dBFS RMS", "dBFSRMS1", 0);
  dB1 = addTagged(unit, "SPL dB", "dB1", 0);
  for (QAction* a : {dBFs1, dBFSRMS1, dB1}) {
    a->setCheckable(true);
    unitGroup->addAction(a);
  }
  connect(dBFs1, &QAction::triggered, this, &TFMAnalyzer::dBFs1Click);
  connect(dBFSRMS1, &QAction::triggered, this, &TFMAnalyzer::dBFSRMS1Click);
  connect(dB1, &QAction::triggered, this, &TFMAnalyzer::dB1Click);

  QMenu* text = bar->addMenu("Text");
  text->setObjectName("Text1");
  for (int k = 0; k < 4; ++k) {
    CHText[k] = addTagged(text, QString("CH%1").arg(k + 1), QString("CH%11").arg(k + 1), 0);
    CHText[k]->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_F1 + k)));
    connect(CHText[k], &QAction::triggered, this, [this, k] { CH11Click(k); });
  }
  Std1 = addTagged(text, "Std", "Std1", 0);
  Std1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F5));
  connect(Std1, &QAction::triggered, this, &TFMAnalyzer::Std1Click);

  Style1 = bar->addAction("Style");
  Style1->setObjectName("Style1");
  connect(Style1, &QAction::triggered, this, &TFMAnalyzer::Style1Click);

  QMenu* help = bar->addMenu("Help");
  help->setObjectName("HElp1");
  TWindowLanguage::SetTag(help, 135);
  connect(addTagged(help, "Help (Web)", "Help2", 136), &QAction::triggered, this, &TFMAnalyzer::Help2Click);
  connect(addTagged(help, "Info", "Info1", 137), &QAction::triggered, this, &TFMAnalyzer::Info1Click);

  // Chart popup.
  ChartPopup = new QMenu(this);
  ChartPopup->setObjectName("ChartPopup");
  connect(addTagged(ChartPopup, "Reset", "ClearRTA", 153), &QAction::triggered, this, &TFMAnalyzer::Reset2Click);
  ChartPopup->addSeparator();
  const int pairs[4][2] = {{0, 1}, {1, 2}, {2, 3}, {0, 3}};
  for (const auto& p : pairs) {
    const int a = p[0], b = p[1];
    QAction* swap = addTagged(ChartPopup, QString("CH%1 <-> CH%2").arg(a + 1).arg(b + 1),
                              QString("CH%1CH%2").arg(a + 1).arg(b + 1), 0);
    connect(swap, &QAction::triggered, this, [this, a, b] { CH1CH21Click(a, b); });
  }
  ChartPopup->addSeparator();
  connect(addTagged(ChartPopup, "Transparency on", "ransparancy1", 151), &QAction::triggered, this,
          &TFMAnalyzer::ransparancy1Click);
  connect(addTagged(ChartPopup, "Transparency off", "ransparancyoff1", 152), &QAction::triggered, this,
          &TFMAnalyzer::ransparancyoff1Click);
  ChartPopup->addSeparator();
  connect(addTagged(ChartPopup, "y/2", "y21", 0), &QAction::triggered, this, &TFMAnalyzer::y21Click);
  connect(addTagged(ChartPopup, "y*2", "y22", 0), &QAction::triggered, this, &TFMAnalyzer::y22Click);
  connect(addTagged(ChartPopup, "y-Auto", "yAuto1", 0), &QAction::triggered, this, &TFMAnalyzer::yAuto1Click);
  connect(addTagged(ChartPopup, "xy Default", "Default1", 150), &QAction::triggered, this, &TFMAnalyzer::yStd1Click);
  ChartPopup->addSeparator();
  connect(addTagged(ChartPopup, "Clipboard", "Clipboard2", 133), &QAction::triggered, this,
          &TFMAnalyzer::Clipboard1Click);
}

// =====================================================================================================
// Activation, style, interface
// =====================================================================================================

void TFMAnalyzer::showEvent(QShowEvent* event)
{
  QMainWindow::showEvent(event);
  // Some platforms (offscreen, X servers without a window manager) never activate a window; the first
  // showing stands in for the first activation there.
  if (!ActivatedOnce)
    QTimer::singleShot(0, this, [this] {
      if (!ActivatedOnce)
        FormActivate();
    });
}

void TFMAnalyzer::changeEvent(QEvent* event)
{
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    // The activation that follows our own message box is not a new one.
    if (FMessageClosed.isValid() && FMessageClosed.elapsed() < 400)
      return;
    FormActivate();
  }
}

void TFMAnalyzer::FormActivate()
{
  if (ActivatedOnce || FInActivate || FDestroyed)
    return;
  FInActivate = true;
  AnalyserChart1->SetTransparency(4, 100);
  boRTAMessdatenNichtGespeichert = false;
  if (byChannelCountIn == 0) {
    BT_Analyse1->setEnabled(false);
    if (!IniData.ASIO_interface.empty()) {
      TMessageService::Warning(Tr("Audio interface not connected! ", 329) +
                               QString::fromStdString(IniData.ASIO_interface));
      FMessageClosed.start();
    }
    FInActivate = false;
    return;
  }
  SaveSettings();
  if (!stSetOpenFileDialogInitialDir.isEmpty())
    FOpenDialogFolder = stSetOpenFileDialogInitialDir;
  setWindowTitle("Vemra");
  UnitOffset = 0;
  SetUnit(IniData.RTA_Unit, false);
  CHangeOktave();
  ChannelLabels = SavedChannelLabels = DefaultChannelLabels;
  ApplyChannelLabels(false);
  SaveComboItems();
  ActivatedOnce = true;
  for (QSlider* s : trOffset)
    s->setRange(-25, 25);
  FInActivate = false;
  if (FAutoStart && BT_Analyse1->isEnabled()) {
    FAutoStart = false;
    QTimer::singleShot(0, this, [this] { SetStartButton(true); });
  }
}

bool TFMAnalyzer::SaveSettings()
{
  try {
    WriteIniData();
    return true;
  } catch (const std::exception& e) {
    TMessageService::Error(QString::fromStdString(e.what()));
    return false;
  }
}

void TFMAnalyzer::ApplyStyle()
{
  TVisualStyle::Apply(IniData.screen_style > 0 ? "Glow" : "Silver");
  FitControlColumn();
}

void TFMAnalyzer::FitControlColumn()
{
  if (!FControlScroll || !FControlScroll->widget())
    return;
  // Room for the widest section and for the scroll bar, which appears when the window is low.
  QWidget* panel = FControlScroll->widget();
  panel->ensurePolished();
  const int scrollBar = FControlScroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, FControlScroll);
  const int width = std::max(236, panel->minimumSizeHint().width() + scrollBar + 2);
  FControlScroll->parentWidget()->setFixedWidth(width);
}

void TFMAnalyzer::Style1Click()
{
  IniData.screen_style = IniData.screen_style == 1 ? 0 : 1;
  SaveComboItems();
  ApplyStyle();
  TimerStyleTag = 0;
  TimerStyle->start();
}

void TFMAnalyzer::SaveComboItems()
{
  FComboCache = std::make_unique<QMap<QComboBox*, QStringList>>();
  for (QComboBox* box : findChildren<QComboBox*>()) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
      items.push_back(box->itemText(i));
    FComboCache->insert(box, items);
  }
}

void TFMAnalyzer::RestoreComboItems()
{
  if (!FComboCache)
    return;
  for (auto it = FComboCache->constBegin(); it != FComboCache->constEnd(); ++it) {
    QComboBox* box = it.key();
    const int index = box->currentIndex();
    box->clear();
    box->addItems(it.value());
    box->setCurrentIndex(std::min(index, box->count() - 1));
  }
  FComboCache.reset();
}

void TFMAnalyzer::TimerStyleTimer()
{
  TimerStyle->stop();
  switch (TimerStyleTag) {
    case 0: {
      RestoreComboItems();
      auto select = [](QComboBox* box, int index) {
        box->setCurrentIndex(std::clamp(index, -1, box->count() - 1));
      };
      select(cbOktave, IniData.RTA_Octave);
      select(cbSetSmooth, IniData.RTA_Speed);
      for (int k = 0; k < 4; ++k)
        select(cbCHannelMEssIn[k], IniData.ASIO_ArrInSequence[k]);
      select(cbCHannelMEss, IniData.ASIO_Messkanalkombi);
      select(cbACZ_Gewichtung, IniData.RTA_ACZ_Bewertung);
      break;
    }
    case 1:
      // After the extra chart was cleared: show channel 1 again when every channel is hidden.
      if (std::all_of(sbRTAHide.begin(), sbRTAHide.end(), [](QToolButton* b) { return b->isChecked(); })) {
        sbRTAHide[0]->setChecked(false);
        AnalyserChart1->SetTransparency(0, 0);
        AnalyserChart1->Redraw();
      }
      break;
    case 100:
      // A generator sweep has ended: stop, and let the next start play the sweep again.
      SetStartButton(false);
      IniData.Pnoise_Testsignal.store(5);
      break;
    default:
      break;
  }
}

int TFMAnalyzer::FillSampleRates(int rate)
{
  cbSampletate->clear();
  for (int r : asiohost->SupportedSampleRates())
    cbSampletate->addItem(QString::number(r));
  const int n = cbSampletate->count();
  if (n == 0)
    return 0;
  // Without the wanted rate nothing is selected: the start then refuses the interface.
  const int i = cbSampletate->findText(QString::number(rate));
  cbSampletate->setCurrentIndex(i);
  if (i >= 0) {
    try {
      asiohost->SetSampleRate(rate);
    } catch (const std::exception&) {
      return 0;
    }
  }
  return n;
}

int TFMAnalyzer::CheckSampleRate(int rate)
{
  if (asiohost->CanSampleRate(rate) == 0)
    return 0;
  return asiohost->CanSampleRate(44100) != 0 ? 2 : 1;
}

void TFMAnalyzer::DriverComboChange()
{
  Bt_CP->setEnabled(false);
  BT_Analyse1->setEnabled(false);
  const int i = DriverCombo->findText(DriverCombo->currentText(), Qt::MatchExactly);
  DriverCombo->setCurrentIndex(i);
  if (i < 0)
    return;
  bool failed = false;
  try {
    asiohost->SetDriverIndex(i);
  } catch (const std::exception& e) {
    failed = true;
    StatusPanels[2]->setText(QString::fromStdString(e.what()));
  }
  IniData.ASIO_interface = DriverCombo->currentText().toStdString();
  SaveSettings();
  const int n = failed ? -9 : FillSampleRates(static_cast<int>(std::lround(fsamplerate)));
  if (n <= 0) {
    TMessageService::Error(
        Tr("Select another audio interface. Interface not connected or sample rate 48kHz not supported!", 125));
    byChannelCountIn = 0;
    return;
  }
  bool ok = false;
  const double rate = cbSampletate->currentText().toDouble(&ok);
  fsamplerate = ok ? rate : 48000.0;
  IniData.ASIO_samplerate = ok ? cbSampletate->currentText().toStdString() : "48000";
  byChannelCountOut = asiohost->OutputChannelCount();
  byChannelCountIn = std::min(asiohost->InputChannelCount(), 10);
  SaveSettings();
  InitChannelLists();
  CHangeOktave();
  // The channel lists start again at Ch1: the measurement follows the box, so that the readout, the
  // live bars and the stored setting name the same channel.
  cbCHannelMEssChange();
  SetUnit(IniData.RTA_Unit, true);
  ChannelLabels = SavedChannelLabels = DefaultChannelLabels;
  ApplyChannelLabels(false);
  Bt_CP->setEnabled(true);
  BT_Analyse1->setEnabled(byChannelCountIn > 0);
  PrepareNeeded = true;
  // An interface chosen before the first activation finishes the set-up now.
  if (!ActivatedOnce && isVisible())
    FormActivate();
}

void TFMAnalyzer::Bt_CPClick()
{
  try {
    asiohost->OpenDriver();
  } catch (const std::exception& e) {
    TMessageService::Error(QString::fromStdString(e.what()));
    return;
  }
  // The control panel: the block length of the interface.
  QStringList sizes;
  for (int n = 16; n <= 16384; n *= 2)
    if (n >= asiohost->BufferMinimum() && n <= asiohost->BufferMaximum())
      sizes.push_back(QString::number(n));
  QString value = QString::number(asiohost->BufferSize());
  if (TMessageService::Instance().ChooseItem("ASIO Control...", "Buffer size (samples)", sizes, value)) {
    bool ok = false;
    const int n = value.toInt(&ok);
    asiohost->CloseDriver();
    if (ok) {
      try {
        asiohost->SetBufferSize(n);
      } catch (const std::exception& e) {
        TMessageService::Error(QString::fromStdString(e.what()));
      }
    }
  }
  PrepareNeeded = true;
  asiohost->CloseDriver();
  ShowBufferSize();
}

void TFMAnalyzer::cbSampletateChange()
{
  StatusPanels[2]->setText("...wait");
  BT_Analyse1->setEnabled(false);
  auto supportedRate = [this]() {
    bool ok = false;
    int r = cbSampletate->currentText().toInt(&ok);
    if (!ok || asiohost->CanSampleRate(r) != 0) {
      r = 44100;
      if (asiohost->CanSampleRate(r) != 0) {
        TMessageService::Error("ASIO driver closed / 44100Hz or higher not supported. Use another audio interface!");
        cbSampletate->setCurrentIndex(0);
        return 0;
      }
    }
    return r;
  };
  try {
    int r = supportedRate();
    if (r > 0)
      asiohost->SetSampleRate(r);
    asiohost->CloseDriver();
    QCoreApplication::processEvents();
    asiohost->OpenDriver();
    r = supportedRate();
    if (r > 0)
      asiohost->SetSampleRate(r);
    QCoreApplication::processEvents();
    if (asiohost->BufferSize() > 2048) {
      for (int left = 11; left >= 0; --left) {
        Wait(1000);
        StatusPanels[2]->setText(QString("...wait %1").arg(left));
      }
    }
    asiohost->CloseDriver();
  } catch (const std::exception& e) {
    TMessageService::Error(QString::fromStdString(e.what()));
  }
  IniData.ASIO_samplerate = QString::number(static_cast<int>(asiohost->SampleRate())).toStdString();
  fsamplerate = asiohost->SampleRate();
  ShowMicSystemStatus();
  StatusPanels[2]->setText("Ready ");
  PrepareNeeded = true;
  BT_Analyse1->setEnabled(byChannelCountIn > 0);
}

// =====================================================================================================
// Measurement control
// =====================================================================================================

int TFMAnalyzer::BandsPerOctave() const
{
  static const int bands[5] = {1, 3, 6, 9, 12};
  const int i = cbOktave->currentIndex();
  return (i >= 0 && i < 5) ? bands[i] : 3;
}

double TFMAnalyzer::LevelFloor() const { return IniData.RTA_Unit < 2 ? -120.0 : 0.0; }

double TFMAnalyzer::LevelTop() const { return IniData.RTA_Unit < 2 ? 0.0 : 120.0; }

bool TFMAnalyzer::Measuring() const { return asiohost && asiohost->Active(); }

void TFMAnalyzer::CHangeOktave()
{
  if (byChannelCountIn == 0)
    return;
  // Engines and buffers are replaced only while no audio block can run.
  if (Measuring())
    SetStartButton(false);
  for (int s = 0; s < 5; ++s)
    AnalyserChart1->ClearSeries(s);
  PrepareNeeded = true;
  IniData.RTA_Octave = cbOktave->currentIndex();
  Dispatcher->CreateEngines(static_cast<float>(fsamplerate), BandsPerOctave(), TimeWeightOfIndex(IniData.RTA_Speed),
                            byMaxActiveChannels);
  // The shared buffers follow in PrepareMeasurement below.
  const auto centres = Dispatcher->RTAEngineIEC1[0]->CenterFreqs();
  BandFrequencies.assign(centres.begin(), centres.end());
  QVector<double> x(static_cast<int>(BandFrequencies.size()));
  for (size_t j = 0; j < BandFrequencies.size(); ++j)
    x[static_cast<int>(j)] = BandFrequencies[j];
  const QVector<double> y(x.size(), LevelFloor());
  for (int s = 0; s < 5; ++s)
    AnalyserChart1->SetSeriesData(s, x, y);

  const QVector<double> at = BandsPerOctave() == 1
                                 ? QVector<double>{31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000}
                                 : QVector<double>{20, 31.5, 50, 80, 125, 200, 315, 500, 1000, 2000, 4000, 8000, 16000};
  QStringList texts;
  for (double f : at)
    texts.push_back(FormatFrequency(f, true, 0));
  AnalyserChart1->SetFrequencyLabels(at, texts);
  PrepareMeasurement();
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::ShowBufferSize()
{
  lbASIOBufferSize->setText(QString("Buffer: %1 / %2-%3")
                                .arg(asiohost->BufferSize())
                                .arg(asiohost->BufferMinimum())
                                .arg(asiohost->BufferMaximum()));
}

void TFMAnalyzer::PrepareMeasurement()
{
  ShowBufferSize();
  Dispatcher->SkipBlocks.store(IniData.ASIO_SkipStartBuffer);
  if (PrepareNeeded && Dispatcher->RTAEngineIEC1[0]) {
    SetSpeed(IniData.RTA_Speed);
    Dispatcher->PrepareBuffers(std::max(asiohost->BufferSize(), 1), byChannelCountIn, static_cast<float>(fsamplerate),
                               static_cast<float>(LevelFloor()));
    Dispatcher->FSine.SetFrequency(IniData.Pnoise_Sinus_Freq);
    ApplyChannelLabels(false);

    // Band corrections: interface calibration plus the microphone curve of the measured channel's input.
    TBandCorrectionInput in;
    in.MikKorrType = IniData.MikKorrType;
    in.MikKorr_0_file = IniData.MikKorr_0_file;
    in.MikKorr_90_file = IniData.MikKorr_90_file;
    in.SysCalAktiv = IniData.SysCalAktiv;
    in.CalibrationFileName = CalibrationFileName.toStdString();
    in.DefaultCalibrationFileName = DefaultCalibrationFileName.toStdString();
    in.InputCount = byChannelCountIn;
    std::array<int, 4> map{};
    for (int k = 0; k < 4; ++k)
      map[k] = Dispatcher->ChannelInputMap[k].load();
    in.MeasuredInput = MeasuredChannelInput(IniData.ASIO_Messkanalkombi, map);
    in.BandFrequencies = BandFrequencies;
    in.InterfaceCalibrationRunning = InterfaceCalibrationRunning;
    TBandCorrectionBuild build = BuildBandCorrection(in);
    for (const TCalibrationMessage& m : build.Messages) {
      const QString text = QString::fromStdString(m.Text());
      if (m.Kind == TCalibrationMessage::TKind::Error)
        TMessageService::Error(text);
      else
        TMessageService::Warning(text);
    }
    IniData.MikKorrType = build.MikKorrType;
    MicBandCorrection = std::move(build.MicBandCorrection);
    BandCorrection = std::move(build.BandCorrection);
    ShowMicSystemStatus();
    PeakReset();
    PrepareNeeded = false;
  }
}

void TFMAnalyzer::ShowMicSystemStatus()
{
  const TMicSystemStatus status =
      MicSystemStatus(IniData.MikKorrType, IniData.SysCalAktiv, CalibrationFileName.toStdString());
  StatusPanels[0]->setText(QString::fromStdString(status.SystemText));
  StatusPanels[1]->setText(QString::fromStdString(status.MicText));
}

void TFMAnalyzer::PeakReset()
{
  siPeakDecayFactor = static_cast<float>(std::pow(10.0, -0.02));
  const int bands = AnalyserChart1->PointCount(4);
  iPeakHoldCount.resize(static_cast<size_t>(bands), 0);
  AnalyserChart1->FillY(4, LevelFloor());
}

void TFMAnalyzer::SetSpeed(int index) { Dispatcher->SetTimeWeight(TimeWeightOfIndex(index)); }

void TFMAnalyzer::cbSetSmoothChange()
{
  IniData.RTA_Speed = cbSetSmooth->currentIndex();
  SetSpeed(IniData.RTA_Speed);
}

void TFMAnalyzer::ApplyWeightingToEngines(bool streaming)
{
  const TFreqWeighting w = WeightingOfIndex(cbACZ_Gewichtung->currentIndex());
  if (streaming) {
    Dispatcher->RequestWeighting(w);
    return;
  }
  for (auto& e : Dispatcher->RTAEngineIEC1)
    if (e)
      e->SetWeigthing(w, std::max(asiohost->BufferSize(), 1));
}

void TFMAnalyzer::RestartEngines(int Only)
{
  const TFreqWeighting w = WeightingOfIndex(cbACZ_Gewichtung->currentIndex());
  for (int k = 0; k < TAudioDispatcher::MaxActiveChannels; ++k) {
    auto& e = Dispatcher->RTAEngineIEC1[static_cast<size_t>(k)];
    if (!e || (Only >= 0 && k != Only))
      continue;
    if (Measuring()) {
      e->RequestReset();
      e->RequestWeigthing(w, Dispatcher->PreparedBufferSize());
    } else {
      e->ApplyPendingRequests();
      e->Reset();
      e->SetWeigthing(w, std::max(asiohost->BufferSize(), 1));
    }
  }
}

void TFMAnalyzer::cbACZ_GewichtungChange()
{
  if (cbACZ_Gewichtung->currentIndex() < 0)
    cbACZ_Gewichtung->setCurrentIndex(0);
  IniData.RTA_ACZ_Bewertung = cbACZ_Gewichtung->currentIndex();
  ApplyWeightingToEngines(Measuring());
}

void TFMAnalyzer::InitChannelLists()
{
  cbCHannelMEss->clear();
  cbCHannelMEss->addItems(DefaultChannelLabels);
  cbCHannelMEss->setCurrentIndex(0);
  QStringList inputs;
  for (int i = 1; i <= byChannelCountIn; ++i)
    inputs.push_back(QString("In%1").arg(i));
  for (int k = 0; k < 4; ++k) {
    QComboBox* box = cbCHannelMEssIn[k];
    box->clear();
    box->addItems(inputs);
    const int stored = IniData.ASIO_ArrInSequence[k];
    int input = 0;
    if (stored < byChannelCountIn) {
      input = stored;
    } else {
      IniData.ASIO_ArrInSequence[k] = 0;
    }
    Dispatcher->ChannelInputMap[k].store(static_cast<std::uint8_t>(input));
    box->setCurrentIndex(byChannelCountIn > 0 ? input : -1);
  }
}

void TFMAnalyzer::cbCHannelMEss1Change()
{
  for (int k = 0; k < 4; ++k) {
    const int i = cbCHannelMEssIn[k]->currentIndex();
    if (i >= 0)
      Dispatcher->ChannelInputMap[k].store(static_cast<std::uint8_t>(i));
  }
  for (int k = 0; k < 4; ++k)
    IniData.ASIO_ArrInSequence[k] = Dispatcher->ChannelInputMap[k].load();
  SaveSettings();
  ShowChannelAssignment();
}

void TFMAnalyzer::ShowSeries(int channel)
{
  sbRTAHide[channel]->setChecked(false);
  AnalyserChart1->SetTransparency(channel, VisibleTransparency(channel));
}

int TFMAnalyzer::VisibleTransparency(int channel) const { return channel == 0 ? 0 : iSeriesTransparency; }

void TFMAnalyzer::ApplyVisibleTransparency()
{
  for (int k = 0; k < 4; ++k)
    if (!sbRTAHide[k]->isChecked())
      AnalyserChart1->SetTransparency(k, VisibleTransparency(k));
}

void TFMAnalyzer::cbCHannelMEssChange()
{
  const int k = std::clamp(cbCHannelMEss->currentIndex(), 0, 3);
  StoreChartData();
  byASIOMesskanalStart = byASIOMesskanalStopp = k;
  ChannelUpdateMask = 1 << k;
  ShowSeries(k);
  cbCursorChannel->setCurrentIndex(k);
  cbCursorChannelChange();
  IniData.ASIO_Messkanalkombi = k;
  // Every engine restarts; the chosen weighting stays in force.
  Dispatcher->RequestMeasuredChannel(k);
  RestartEngines();
  ShowChannelAssignment();
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::ShowChannelAssignment()
{
  const int c = std::clamp(IniData.ASIO_Messkanalkombi, 0, 3);
  StatusPanels[2]->setText(
      QString("Ch%1 = In%2").arg(c + 1).arg(static_cast<int>(Dispatcher->ChannelInputMap[c].load()) + 1));
}

void TFMAnalyzer::CH11Click(int channel)
{
  if (channel < 0 || channel > 3)
    return;
  QString value = ChannelLabels[channel];
  if (!TMessageService::Instance().InputQuery(QString("Text CH%1").arg(channel + 1), QString(), value))
    return;
  ChannelLabels[channel] = value;
  SavedChannelLabels[channel] = value;
  ApplyChannelLabels(false);
}

void TFMAnalyzer::Std1Click()
{
  SavedChannelLabels = DefaultChannelLabels;
  ApplyChannelLabels(true);
}

void TFMAnalyzer::ApplyChannelLabels(bool restore)
{
  if (restore)
    ChannelLabels = SavedChannelLabels;
  AnalyserChart1->SetLegendVisible(true);
  for (int k = 0; k < 4; ++k)
    AnalyserChart1->SetSeriesTitle(k, ChannelLabels[k]);
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::StoreChartData()
{
  arrStoredChartData.assign(static_cast<size_t>(AnalyserChart1->SeriesCount()), TStoredSeries{});
  for (int s = 0; s < AnalyserChart1->SeriesCount(); ++s) {
    TStoredSeries& stored = arrStoredChartData[static_cast<size_t>(s)];
    const int n = AnalyserChart1->PointCount(s);
    stored.X.resize(static_cast<size_t>(n));
    stored.Y.resize(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) {
      stored.X[static_cast<size_t>(j)] = static_cast<float>(AnalyserChart1->X(s, j));
      stored.Y[static_cast<size_t>(j)] = static_cast<float>(AnalyserChart1->Y(s, j));
    }
  }
}

void TFMAnalyzer::CH1CH21Click(int first, int second)
{
  if (Measuring()) {
    TMessageService::Warning("Not during measurement!");
    return;
  }
  SwapChannels(first, second);
}

void TFMAnalyzer::SwapChannels(int first, int second)
{
  for (QSlider* s : trOffset)
    s->setValue(0);
  const QVector<double> xa = AnalyserChart1->XValues(first), ya = AnalyserChart1->YValues(first);
  const QVector<double> xb = AnalyserChart1->XValues(second), yb = AnalyserChart1->YValues(second);
  AnalyserChart1->SetSeriesData(first, xb, yb);
  AnalyserChart1->SetSeriesData(second, xa, ya);
  if (static_cast<int>(arrStoredChartData.size()) > std::max(first, second))
    std::swap(arrStoredChartData[static_cast<size_t>(first)], arrStoredChartData[static_cast<size_t>(second)]);
  ChannelLabels.swapItemsAt(first, second);
  ApplyChannelLabels(false);
}

void TFMAnalyzer::SetStartButton(bool down)
{
  BT_Analyse1->setChecked(down);
  BT_Analyse1Click();
}

void TFMAnalyzer::BT_Analyse1Click()
{
  if (BT_Analyse1->isChecked())
    StartMeasurement();
  else
    StopMeasurement();
}

void TFMAnalyzer::StartMeasurement()
{
  if (Measuring())
    return;
  if (!Dispatcher->RTAEngineIEC1[0]) {
    // No engines before a usable interface was set up.
    BT_Analyse1->setChecked(false);
    return;
  }
  if (cbCHannelMEss->currentIndex() < 0)
    cbCHannelMEss->setCurrentIndex(0);
  ApplyChannelLabels(true);
  ShowChannelAssignment();
  // The generator window sets the signal state and output level; until it exists they stay as they are.
  for (auto& e : Dispatcher->RTAEngineIEC1) {
    if (!e)
      continue;
    e->ApplyPendingRequests();
    e->Reset();
    e->SetLeqWindowSec(IniData.RTA_LeqSlidingSecWindow);
  }
  cbACZ_GewichtungChange();

  try {
    asiohost->OpenDriver();
    asiohost->SetSampleRate(fsamplerate);
  } catch (const std::exception&) {
    asiohost->CloseDriver();
    TMessageService::Error(Tr("Audio interface issue! Please check connection.", 141));
    BT_Analyse1->setChecked(false);
    return;
  }
  if (asiohost->BufferSize() != 1024 && BufferAdviceDue) {
    TMessageService::Warning(Tr("For best performace set ASIO buffer to ", 140) + "1024" + "!");
    BufferAdviceDue = false;
  }
  if (CheckSampleRate(cbSampletate->currentText().toInt()) != 0) {
    asiohost->CloseDriver();
    TMessageService::Error(Tr("Select another audio interface. Sample rate 48kHz not supported!", 125));
    BT_Analyse1->setChecked(false);
    UpdateControlsForMeasuring();
    return;
  }
  PrepareNeeded = true;
  PrepareMeasurement();
  // The weighting filter follows the block length the stream really runs with.
  ApplyWeightingToEngines(false);
  FrameCount = 0;
  BT_Analyse1->setText("Stop");
  Dispatcher->Messages.Clear();
  Dispatcher->BandDataRequested.store(true, std::memory_order_release);
  if (IniData.Pnoise_Testsignal.load() >= 4)
    Dispatcher->SkipBlocks.store(0);
  boRTAMessdatenNichtGespeichert = true;
  try {
    asiohost->SetActive(true);
  } catch (const std::exception&) {
    asiohost->CloseDriver();
    BT_Analyse1->setText("Start");
    BT_Analyse1->setChecked(false);
    TMessageService::Error(Tr("Audio interface issue! Please check connection.", 141));
  }
  UpdateControlsForMeasuring();
}

void TFMAnalyzer::StopMeasurement()
{
  IniData.Pnoise_Testsignal.store(0);
  try {
    if (asiohost->Active()) {
      // The outputs play silence for a moment before the stream stops.
      QThread::msleep(500);
      asiohost->SetActive(false);
    }
  } catch (const std::exception&) {
  }
  BT_Analyse1->setText("Start");
  BT_Analyse1->setChecked(false);
  StoreChartData();
  try {
    asiohost->CloseDriver();
  } catch (const std::exception&) {
  }
  UpdateControlsForMeasuring();
}

void TFMAnalyzer::UpdateControlsForMeasuring()
{
  const bool idle = !Measuring();
  DriverCombo->setEnabled(idle);
  cbSampletate->setEnabled(idle);
  Bt_CP->setEnabled(idle && asiohost->DriverIndex() >= 0);
  cbOktave->setEnabled(idle);
  ProgressBar1->setValue(0);
}

void TFMAnalyzer::cbOktaveChange() { CHangeOktave(); }

void TFMAnalyzer::Reset2Click()
{
  for (int k = 0; k < 4; ++k)
    AnalyserChart1->FillY(k, LevelFloor());
  RestartEngines();
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::Label5Click() { RestartEngines(std::clamp(byASIOMesskanalStart, 0, 3)); }

bool TFMAnalyzer::eventFilter(QObject* watched, QEvent* event)
{
  if ((watched == Label5 || watched == Label3) && event->type() == QEvent::MouseButtonRelease) {
    Label5Click();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// =====================================================================================================
// Display
// =====================================================================================================

void TFMAnalyzer::OnAudioMessages()
{
  Dispatcher->Messages.AcknowledgeWakeup();
  while (auto m = Dispatcher->Messages.Pop()) {
    switch (m->Msg) {
      case WM_BANDLEVELS_READY:
        DisplayFrame();
        break;
      default:
        // Room recording and generator sweep messages belong to windows of later versions.
        break;
    }
  }
}

void TFMAnalyzer::DisplayFrame()
{
  if (CalibrationFramesLeft > 0) {
    const int tag = std::max(ProgressBar1->property("Tag").toInt(), 1);
    ProgressBar1->setValue(static_cast<int>(std::lround(100.0 * CalibrationFramesLeft / tag)));
    --CalibrationFramesLeft;
  } else {
    if (++FrameCount > 100)
      FrameCount = 0;
    ProgressBar1->setValue(FrameCount);
  }
  if (!Measuring())
    return;
  // A frame belongs to the display only while the callback waits for the next request.
  if (Dispatcher->BandDataRequested.load(std::memory_order_acquire))
    return;
  for (int k = 0; k < 4; ++k) {
    const int input = Dispatcher->ChannelInputMap[k].load();
    const float peak = input < TAudioDispatcher::MaxInputs ? Dispatcher->InputPeaks[input].load() : 0.0f;
    ShowInputLevel(paK[k], input, iCh1LEvelOk, peak);
  }
  UpdateDisplay();
  AnalyserChart1->RedrawData();
  ++FramesShown;
  Dispatcher->BandDataRequested.store(true, std::memory_order_release);
}

void TFMAnalyzer::ShowInputLevel(QLabel* panel, int input, int& levelOk, float peak)
{
  const float p = std::fabs(peak);
  const char* colour = "#C0C0C0";
  if (input == 0)
    levelOk = -1;
  if (p > 0.0001f)
    colour = "#008000";
  if (p > 0.04f) {
    colour = "#00FF00";
    if (input == 0)
      levelOk = 0;
  }
  if (p > 0.85f) {
    colour = "#FF0000";
    if (input == 0)
      levelOk = 1;
  }
  const QString sheet = QString("QLabel { background: %1; color: black; }").arg(colour);
  if (panel->styleSheet() != sheet)
    panel->setStyleSheet(sheet);
}

float TFMAnalyzer::SPLOffsetOfChannel(int channel) const
{
  // The SPL offset is measured per interface input; a channel takes that of its input.
  const int input = Dispatcher->ChannelInputMap[std::clamp(channel, 0, 3)].load();
  return static_cast<float>(IniData.MikKorr_SPLOffset[static_cast<size_t>(std::clamp(input, 0, MikKorrInputs - 1))]);
}

void TFMAnalyzer::UpdateDisplay()
{
  const std::vector<float>& corr = BandCorrection.DatenXYZ[1];

  // Broadband readout of the measured channel.
  const int c = std::clamp(cbCHannelMEss->currentIndex(), 0, 3);
  float o = static_cast<float>(UnitOffset);
  if (IniData.RTA_Unit == 2)
    o = 94.0f - SPLOffsetOfChannel(c);
  const QString T = AnalyserChart1->LevelTitle();
  const int n = IniData.RTA_LeqSlidingSecWindow / 60;
  QString head, peak, leq;
  const bool sliding = IniData.RTA_LeqMode == 1;
  switch (IniData.RTA_ACZ_Bewertung) {
    case 1:
      head = T + "(A):";
      peak = " Peak(A):";
      leq = sliding ? QString(" LAeq-%1:").arg(n) : QString(" LAeq:");
      break;
    case 2:
      head = T + "(C):";
      peak = " Peak(C):";
      leq = sliding ? QString(" LCeq-%1:").arg(n) : QString(" LCeq:");
      break;
    default:
      head = T + ":";
      peak = " Peak:";
      leq = sliding ? QString(" Leq-%1:").arg(n) : QString(" Leq:");
      break;
  }
  auto& engine = Dispatcher->RTAEngineIEC1[static_cast<size_t>(c)];
  if (engine) {
    float R = 0, L = 0, P = 0, S = 0;
    const std::span<const float> corrSpan(corr.data(), corr.size());
    const bool ok = engine->GetWeightingValue(exRMS, o, R, corrSpan) && engine->GetWeightingValue(exLeq, o, L, corrSpan) &&
                    engine->GetWeightingValue(exPeak, o, P, corrSpan) &&
                    engine->GetWeightingValue(exLeqSliding, o, S, corrSpan);
    if (ok) {
      const float V = sliding ? S : L;
      const QString readout = QString("Ch%1 ").arg(c + 1) + head + TDisplayFormat::Fixed(R, 4, 1) + peak +
                              TDisplayFormat::Fixed(P, 4, 1) + leq + TDisplayFormat::Fixed(V, 4, 1);
      AnalyserChart1->SetAnnotation(TChartView::TCorner::BottomRight, readout);
    }
  }

  // Bars.
  const double floor = LevelFloor();
  if (InterfaceCalibrationRunning) {
    if (!Dispatcher->BandLevels.empty()) {
      const auto& levels = Dispatcher->BandLevels[0];
      const int m = std::min(static_cast<int>(levels.size()), AnalyserChart1->PointCount(0));
      for (int j = 0; j < m; ++j)
        AnalyserChart1->SetY(0, j, levels[static_cast<size_t>(j)]);
    }
    return;
  }
  QVector<double> y;
  for (int k = 0; k < 4 && k < static_cast<int>(Dispatcher->BandLevels.size()); ++k) {
    if (!(ChannelUpdateMask & (1 << k)))
      continue;
    const auto& levels = Dispatcher->BandLevels[static_cast<size_t>(k)];
    const int m = std::min(static_cast<int>(levels.size()), AnalyserChart1->PointCount(k));
    double shift = -trOffset[k]->value() + UnitOffset;
    if (IniData.RTA_Unit == 2)
      shift -= SPLOffsetOfChannel(k);
    y.resize(m);
    for (int j = 0; j < m; ++j) {
      const double correction = static_cast<size_t>(j) < corr.size() ? corr[static_cast<size_t>(j)] : 0.0;
      y[j] = std::max(levels[static_cast<size_t>(j)] - correction + shift, floor);
    }
    AnalyserChart1->SetYValues(k, y);
  }
}

void TFMAnalyzer::dBFs1Click() { SetUnit(0, false); }

void TFMAnalyzer::dBFSRMS1Click() { SetUnit(1, false); }

void TFMAnalyzer::dB1Click() { SetUnit(2, false); }

void TFMAnalyzer::SetUnit(int unit, bool silent)
{
  UnitOffset = 0;
  AnalyserChart1->SetLevelTitle("dBFS");
  AnalyserChart1->SetLevelRange(-120.0, 0.0);
  IniData.RTA_Unit = 0;
  if (unit == 1) {
    UnitOffset = 3;
    AnalyserChart1->SetLevelTitle("dBFS RMS");
    IniData.RTA_Unit = 1;
  } else if (unit == 2) {
    UnitOffset = 94;
    AnalyserChart1->SetLevelTitle("SPL dB");
    AnalyserChart1->SetLevelRange(0.0, 120.0);
    IniData.RTA_Unit = 2;
  }
  QAction* checked = IniData.RTA_Unit == 1 ? dBFSRMS1 : IniData.RTA_Unit == 2 ? dB1 : dBFs1;
  checked->setChecked(true);
  if (!silent) {
    if (Measuring())
      Reset2Click();
    else if (ActivatedOnce && TMessageService::Confirm(Tr("Clear data?", 157)))
      Reset2Click();
  }
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::ShowStatusText(const QString& text) { StatusPanels[3]->setText(text); }

QString TFMAnalyzer::FormatFrequency(double f, bool withUnit, int decimals)
{
  return TDisplayFormat::Frequency(f, withUnit, decimals);
}

void TFMAnalyzer::ShowCursorValue(double x, double y, int index)
{
  if (x < 19.0 || x > 21500.0)
    return;
  const QString label = (byCursorChannel >= 1 && byCursorChannel <= 4) ? QString("Ch%1").arg(byCursorChannel) : QString();
  float f = static_cast<float>(x);
  if (Dispatcher->RTAEngineIEC1[0])
    f = Dispatcher->RTAEngineIEC1[0]->IEC_RoundFreqCursorAnzeige(index, BandsPerOctave());
  const QString text = label + ":" + FormatFrequency(f, true, 2) + "/" + TDisplayFormat::Fixed(y, 5, 1) + "dB";
  if (byCursorChannel > 0)
    AnalyserChart1->SetAnnotation(TChartView::TCorner::BottomLeft, text + " " + ShowMinMax());
}

QString TFMAnalyzer::ShowMinMax() const
{
  const int c = IniData.ASIO_Messkanalkombi;
  if (c < 0 || c > 3 || AnalyserChart1->PointCount(c) == 0)
    return "Min/Max";
  const QVector<double> y = AnalyserChart1->YValues(c);
  const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
  return "Min/Max: " + TDisplayFormat::Fixed(*lo, 5, 1) + "/" + TDisplayFormat::Fixed(*hi, 5, 1);
}

// =====================================================================================================
// View tools that the display uses
// =====================================================================================================

void TFMAnalyzer::sbChartSetStdClick(QToolButton* sender)
{
  IniData.RTA_BarType = 0;
  if (sender == sbChartSet3D) {
    AnalyserChart1->Set3D(true);
    IniData.RTA_BarType = 2;
    for (int k = 0; k < 4; ++k)
      AnalyserChart1->SetBarGeometry(k, 50.0, 0.0);
  } else if (sender == sbChartSetSide) {
    AnalyserChart1->Set3D(false);
    for (int k = 0; k < 4; ++k)
      AnalyserChart1->SetBarGeometry(k, 25.0, 100.0 * k);
    IniData.RTA_BarType = 1;
  } else {
    AnalyserChart1->Set3D(false);
    for (int k = 0; k < 4; ++k)
      AnalyserChart1->SetBarGeometry(k, 90.0, 0.0);
  }
  ApplyVisibleTransparency();
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::ransparancy1Click()
{
  iSeriesTransparency = 35;
  ApplyVisibleTransparency();
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::ransparancyoff1Click()
{
  iSeriesTransparency = 0;
  ApplyVisibleTransparency();
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::sbRTA1HideClick(int channel)
{
  // The button has already toggled; its new state says what to do.
  const bool hidden = sbRTAHide[channel]->isChecked();
  AnalyserChart1->SetTransparency(channel, hidden ? 100 : VisibleTransparency(channel));
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::trOffsetChange(int channel)
{
  const int n = channel + 1;
  if (Measuring() && IniData.ASIO_Messkanalkombi == n - 1)
    return;  // the live display applies the offset of the measured channel itself
  if (arrStoredChartData.size() <= 1 || AnalyserChart1->SeriesCount() <= n - 1)
    return;
  const TStoredSeries& stored = arrStoredChartData[static_cast<size_t>(channel)];
  const int count = std::min(AnalyserChart1->PointCount(channel), static_cast<int>(stored.Y.size()));
  const double p = trOffset[channel]->value();
  for (int j = 0; j < count; ++j)
    AnalyserChart1->SetY(channel, j, stored.Y[static_cast<size_t>(j)] - p);
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::sbCursorOnOffClick()
{
  if (sbCursorOnOff->isChecked()) {
    AnalyserChart1->SetCursorEnabled(true);
    byCursorChannel = cbCursorChannel->currentIndex() + 1;
    cbCursorChannelChange();
    PeakReset();
  } else {
    AnalyserChart1->SetCursorEnabled(false);
    AnalyserChart1->SetAnnotation(TChartView::TCorner::BottomLeft, QString());
  }
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::cbCursorChannelChange()
{
  byCursorChannel = cbCursorChannel->currentIndex() + 1;
  if (!sbCursorOnOff->isChecked())
    AnalyserChart1->SetAnnotation(TChartView::TCorner::BottomLeft, QString());
  if (byCursorChannel >= 1 && byCursorChannel <= 4) {
    AnalyserChart1->SetCursorSeries(byCursorChannel - 1);
    PeakReset();
  }
}

void TFMAnalyzer::y21Click()
{
  AnalyserChart1->SetLevelMaximum(std::nearbyint(AnalyserChart1->LevelMaximum() / 2.0));
  AnalyserChart1->SetLevelMinimum(std::nearbyint(AnalyserChart1->LevelMinimum() / 2.0));
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::y22Click()
{
  AnalyserChart1->SetLevelMaximum(std::nearbyint(AnalyserChart1->LevelMaximum() * 2.0));
  AnalyserChart1->SetLevelMinimum(std::nearbyint(AnalyserChart1->LevelMinimum() * 2.0));
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::yAuto1Click()
{
  double lo = 0, hi = 0;
  if (AnalyserChart1->VisibleValueRange(lo, hi)) {
    if (hi <= lo)
      hi = lo + 1.0;
    AnalyserChart1->SetLevelRange(std::floor(lo), std::ceil(hi) + 10.0);
  }
  AnalyserChart1->Redraw();
}

void TFMAnalyzer::yStd1Click()
{
  AnalyserChart1->SetLevelRange(LevelFloor(), LevelTop());
  AnalyserChart1->UndoZoom();
}

void TFMAnalyzer::SavePDF1Click()
{
  QString name = TMessageService::Instance().SaveFileName("PDF Export", FOpenDialogFolder, "PDF (*.pdf);;All (*.*)");
  if (name.isEmpty())
    return;
  if (QFileInfo(name).suffix().isEmpty())
    name += ".pdf";
  const bool extraShown = AnalyserChart1->Transparency(4) <= 50;
  if (extraShown)
    AnalyserChart1->SetTransparency(4, 100);
  const bool ok = AnalyserChart1->SavePdf(name);
  if (extraShown)
    AnalyserChart1->SetTransparency(4, 0);
  if (!ok) {
    TMessageService::Error("Cannot write " + name);
    return;
  }
  TMessageService::Information(Tr("Chart saved as PDF: ", 123) + name);
}

void TFMAnalyzer::Print1Click() { AnalyserChart1->PrintPreview(this); }

void TFMAnalyzer::Clipboard1Click()
{
  AnalyserChart1->CopyToClipboard();
  TMessageService::Information(Tr("Chart copied to clipboard.", 126));
}

void TFMAnalyzer::Info1Click() { TMessageService::Information(QString::fromStdString(InfoText())); }

void TFMAnalyzer::Help2Click() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(ManualAddress(IsGermanUser())))); }

// =====================================================================================================
// Closing
// =====================================================================================================

void TFMAnalyzer::Quit1Click() { close(); }

void TFMAnalyzer::FormCloseQuery(bool& canClose)
{
  if (byChannelCountIn == 0) {
    canClose = true;
  } else {
    canClose = !Measuring();
    if (canClose && boRTAMessdatenNichtGespeichert)
      canClose = TMessageService::Instance().Show(TMsgKind::Confirmation, Tr("Measurements not saved! Close module?", 156),
                                                  TMsgButtons::YesNo) == TMsgResult::Yes;
  }
  // A running measurement stops here, so a second request can close the window.
  if (Measuring())
    SetStartButton(false);
  for (int k = 0; k < std::min(byChannelCountIn, 4); ++k)
    IniData.ASIO_ArrInSequence[k] = Dispatcher->ChannelInputMap[k].load();
}

void TFMAnalyzer::closeEvent(QCloseEvent* event)
{
  bool canClose = true;
  FormCloseQuery(canClose);
  if (canClose)
    event->accept();
  else
    event->ignore();
}

void TFMAnalyzer::resizeEvent(QResizeEvent* event)
{
  QMainWindow::resizeEvent(event);
  if (!ActivatedOnce || FDestroyed)
    return;
  setMinimumSize(650, 400);
  IniData.screen_width = std::max(width(), 650);
  IniData.screen_height = std::max(height(), 400);
  SaveSettings();
}

void TFMAnalyzer::FormDestroy()
{
  if (FDestroyed)
    return;
  FDestroyed = true;
  try {
    asiohost->SetActive(false);
    asiohost->CloseDriver();
  } catch (const std::exception&) {
  }
  // The queue's wake-up descriptor closes with the dispatcher; nothing may watch it after that.
  delete FNotifier;
  FNotifier = nullptr;
  IniData.screen_left = x();
  IniData.screen_top = y();
  IniData.screen_width = width();
  IniData.screen_height = height();
  int mask = 0;
  for (int k = 0; k < 4; ++k)
    if (sbRTAHide[k]->isChecked())
      mask |= 1 << k;
  IniData.RTA_Hide = mask;
  if (!FTerminate)
    SaveSettings();
  if (FOwnsInstanceLock)
    InstanceLock().reset();
}
