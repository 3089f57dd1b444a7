#pragma once
// TFMAnalyzer: the main window of Vemra, a real-time analyzer. It owns the audio interface (asiohost) and
// the block dispatcher with the four level engines, runs measurements (start, stop, resolution, speed,
// weighting, channel assignment), draws the live band levels of the measured channel as bars and shows
// the broadband readout, and handles start-up and closing of the program's main window.
//
// The audio callback reaches this window only through the dispatcher's message queue: its wake-up
// descriptor is watched by a QSocketNotifier, and message 0x464 (band levels ready) draws one frame.
// The window never takes a lock that the audio thread could hold.
#include "audio/TASIOHost.h"
#include "audio/TAudioDispatcher.h"
#include "calibration/TDatentyp.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMap>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSlider;
class QSocketNotifier;
class QTimer;
class QToolButton;
class TChartView;

// The stored x and y values of one chart series.
struct TStoredSeries
{
  std::vector<float> X;
  std::vector<float> Y;
};

class TFMAnalyzer : public QMainWindow
{
  Q_OBJECT
public:
  // Arguments: the command line after the program name ("/EN" first keeps the English texts;
  // "--start" presses Start once the window has been activated for the first time).
  explicit TFMAnalyzer(const QStringList& arguments = {}, QWidget* parent = nullptr);
  ~TFMAnalyzer() override;

  // True when creation found a reason to end the program (a second instance, no audio driver).
  bool TerminateRequested() const { return FTerminate; }

  // ---- operations other windows use ----
  void CHangeOktave();
  void PrepareMeasurement();
  int BandsPerOctave() const;
  void SetSpeed(int index);
  void ApplyChannelLabels(bool restore);
  void StoreChartData();
  void ShowChannelAssignment();
  void InitChannelLists();
  int FillSampleRates(int rate);
  int CheckSampleRate(int rate);
  bool AlreadyRunning();
  void ApplyStyle();
  void SaveComboItems();
  void RestoreComboItems();
  void SetUnit(int unit, bool silent);
  void ShowStatusText(const QString& text);
  void ShowMicSystemStatus();
  static QString FormatFrequency(double f, bool withUnit, int decimals);
  bool Measuring() const;
  // Presses (down = true) or releases the start button and runs its handler.
  void SetStartButton(bool down);
  // Writes the settings file; a failure is shown to the user (false).
  bool SaveSettings();

  // ---- display ----
  void DisplayFrame();
  void UpdateDisplay();
  void ShowInputLevel(QLabel* panel, int input, int& levelOk, float peak);
  QString ShowMinMax() const;

  // ---- handlers ----
  void FormActivate();
  void DriverComboChange();
  void Bt_CPClick();
  void cbSampletateChange();
  void Style1Click();
  void cbOktaveChange();
  void cbSetSmoothChange();
  void cbACZ_GewichtungChange();
  void cbCHannelMEss1Change();
  void cbCHannelMEssChange();
  void CH11Click(int channel);  // channel 0 … 3
  void Std1Click();
  void CH1CH21Click(int first, int second);  // channels 0 … 3
  void BT_Analyse1Click();
  void TimerStyleTimer();
  void Reset2Click();
  void Label5Click();
  void dBFs1Click();
  void dBFSRMS1Click();
  void dB1Click();
  void ShowCursorValue(double x, double y, int index);
  void sbChartSetStdClick(QToolButton* sender);
  void sbRTA1HideClick(int channel);
  void trOffsetChange(int channel);
  void sbCursorOnOffClick();
  void cbCursorChannelChange();
  void ransparancy1Click();
  void ransparancyoff1Click();
  void y21Click();
  void y22Click();
  void yAuto1Click();
  void yStd1Click();
  void SavePDF1Click();
  void Print1Click();
  void Clipboard1Click();
  void Quit1Click();
  void Info1Click();
  void Help2Click();
  void PeakReset();

  // ---- fields ----
  std::unique_ptr<QMap<QComboBox*, QStringList>> FComboCache;
  std::unique_ptr<TAudioDispatcher> Dispatcher;  // shared state of the audio hand-off, engines, sources
  std::unique_ptr<TASIOHost> asiohost;
  double fsamplerate = 48000.0;
  int Sweep_dauer_sec = 4;
  int Sweep_fStart_Hz = 18;
  int Sweep_fStop_Hz = 21000;
  int byMaxActiveChannels = 4;
  int byChannelCountIn = 0;
  int byChannelCountOut = 0;
  int byASIOMesskanalStart = 0;
  int byASIOMesskanalStopp = 0;
  QString stSetOpenFileDialogInitialDir;
  int iRT60StartSaveLastMessCh = 0;
  int iRT60StartSaveLastCh1Input = 0;
  bool boRTAMessdatenNichtGespeichert = false;

  bool PrepareNeeded = true;
  static bool BufferAdviceDue;  // once per program run
  bool ActivatedOnce = false;
  int ChannelUpdateMask = 15;
  static inline const QStringList DefaultChannelLabels{"Ch1", "Ch2", "Ch3", "Ch4"};
  QStringList ChannelLabels = DefaultChannelLabels;
  QStringList SavedChannelLabels = DefaultChannelLabels;
  std::vector<float> BandFrequencies;
  TDatentyp BandCorrection;
  TDatentyp MicBandCorrection;
  QString CalibrationFileName;
  QString DefaultCalibrationFileName;
  bool InterfaceCalibrationRunning = false;
  int UnitOffset = 0;
  int FrameCount = 0;
  int FramesShown = 0;  // frames drawn since the window was made (FrameCount wraps at 100)
  int CalibrationFramesLeft = 0;
  int byCursorChannel = 1;
  bool boSnapshotRequest = false;
  std::vector<TStoredSeries> arrStoredChartData;
  int iSeriesTransparency = 0;
  int byPeakMode = 0;
  float siPeakDecayFactor = 0.954992586f;
  std::vector<int> iPeakHoldCount;
  // Level state of input 1 for the interface calibration's level check (-1 no signal, 0 ok, 1 too high).
  int iCh1LEvelOk = -1;

  // ---- components ----
  TChartView* AnalyserChart1 = nullptr;
  QComboBox* DriverCombo = nullptr;
  QPushButton* Bt_CP = nullptr;
  QLabel* lbASIOBufferSize = nullptr;
  QComboBox* cbSampletate = nullptr;
  QComboBox* cbOktave = nullptr;
  QComboBox* cbSetSmooth = nullptr;
  QComboBox* cbACZ_Gewichtung = nullptr;
  std::array<QComboBox*, 4> cbCHannelMEssIn{};  // cbCHannelMEss1 … cbCHannelMEss4
  QComboBox* cbCHannelMEss = nullptr;
  QPushButton* BT_Analyse1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  std::array<QLabel*, 4> StatusPanels{};
  QTimer* TimerStyle = nullptr;
  int TimerStyleTag = 0;
  std::array<QLabel*, 4> paK{};
  std::array<QSlider*, 4> trOffset{};
  std::array<QToolButton*, 4> sbRTAHide{};
  QToolButton* sbChartSetStd = nullptr;
  QToolButton* sbChartSetSide = nullptr;
  QToolButton* sbChartSet3D = nullptr;
  QToolButton* sbCursorOnOff = nullptr;
  QComboBox* cbCursorChannel = nullptr;
  QToolButton* sbModul_Generator = nullptr;
  QToolButton* sbModul_RoomAnalyzer = nullptr;
  QToolButton* sbModul_yt = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label3 = nullptr;
  QAction* dBFs1 = nullptr;
  QAction* dBFSRMS1 = nullptr;
  QAction* dB1 = nullptr;
  std::array<QAction*, 4> CHText{};  // menu "Text": CH1 … CH4
  QAction* Std1 = nullptr;
  QAction* Style1 = nullptr;
  QAction* Quit1 = nullptr;
  QMenu* ChartPopup = nullptr;
  QMenu* OffsetPopup = nullptr;

protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void FormCreate();
  void BuildComponents();
  void BuildMenus();
  void FormCloseQuery(bool& canClose);
  void FormDestroy();
  void OnAudioMessages();
  void StartMeasurement();
  void StopMeasurement();
  void UpdateControlsForMeasuring();
  void SwapChannels(int first, int second);
  void ShowSeries(int channel);
  double LevelFloor() const;
  double LevelTop() const;
  float SPLOffsetOfChannel(int channel) const;
  void ApplyWeightingToEngines(bool streaming);
  // "Buffer: <length> / <shortest>-<longest>" of the interface.
  void ShowBufferSize();
  // Every engine, or only that of channel Only, starts afresh with the chosen weighting: at its next
  // block while measuring, at once otherwise.
  void RestartEngines(int Only = -1);
  // Transparency of a channel's bars while its hide button is up (channel 1 is always opaque).
  int VisibleTransparency(int channel) const;
  // Every channel whose hide button is up gets its visible transparency.
  void ApplyVisibleTransparency();
  // The control column takes the width its (possibly translated) contents need.
  void FitControlColumn();

  QStringList FArguments;
  bool FTerminate = false;
  bool FInActivate = false;
  bool FOwnsInstanceLock = false;
  QElapsedTimer FMessageClosed;
  bool FAutoStart = false;
  bool FDestroyed = false;
  QSocketNotifier* FNotifier = nullptr;
  QTimer* FPollTimer = nullptr;
  QString FOpenDialogFolder;
  QScrollArea* FControlScroll = nullptr;
};
