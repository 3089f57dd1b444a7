// Measuring with the main window on the virtual interface (free-running): live frames, the level of a
// known sine in its bar, the broadband readout, the channel commands, units, offsets and corrections.
#include "GuiTestSupport.h"

#include "analyzer/main_f.h"
#include "widgets/ChartView.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

// A room that hardly colours the sound: direct path 0 dB, a short tail far below it, no noise.
constexpr const char* kDryRoom = "clock=free;noise=off;rt60=0.1;tail=-90;latency=0";
// The same at real-time pace. A free-running interface keeps the level engine busy all the time, so
// nearly every broadband readout overlaps a block and is refused; the readout tests need the pauses
// between blocks that a real interface has.
constexpr const char* kDryRoomRealTime = "clock=realtime;noise=off;rt60=0.1;tail=-90;latency=0";

std::unique_ptr<TFMAnalyzer> MakeWindow(const QString& ini, const char* room = kDryRoom)
{
  qputenv("VEMRA_VIRTUAL_ROOM", room);
  guitest::WriteIni("[ASIO]\nInterface=Virtual interface\n" + ini);
  auto w = std::make_unique<TFMAnalyzer>();
  w->FormActivate();
  return w;
}

int BandIndex(const TFMAnalyzer& w, float f)
{
  for (size_t j = 0; j < w.BandFrequencies.size(); ++j)
    if (std::fabs(w.BandFrequencies[j] - f) < 0.5f)
      return static_cast<int>(j);
  return -1;
}

// Plays a sine of the given amplitude on every output while measuring.
void StartSine(TFMAnalyzer& w, float amplitude)
{
  IniData.Pnoise_Sinus_Freq = 1000;
  IniData.Pnoise_Testsignal.store(2);
  w.Dispatcher->dbAmpPink.store(amplitude);
  w.SetStartButton(true);
}

// Waits until the window has drawn that many further frames (generous: a loaded machine is slow).
bool WaitFrames(TFMAnalyzer& w, int frames)
{
  const int target = w.FramesShown + frames;
  return guitest::WaitFor([&] { return w.FramesShown >= target; }, 30000);
}

}  // namespace

class TestAnalyzerMeasurement : public QObject
{
  Q_OBJECT

private slots:
  void init() { TFMAnalyzer::BufferAdviceDue = true; }

  void SineShowsAtItsLevelInItsBar()
  {
    auto* script = guitest::Script();
    auto w = MakeWindow("[RTA]\nOctave=1\nUnit=0\n");
    StartSine(*w, 0.5f);
    QVERIFY(w->Measuring());
    QCOMPARE(w->BT_Analyse1->text(), QString("Stop"));
    QVERIFY(WaitFrames(*w, 40));
    const int kHz = BandIndex(*w, 1000.0f);
    QVERIFY(kHz > 0);
    // Amplitude 0.5: mean square 0.125, −9.03 dBFS.
    const double level = w->AnalyserChart1->Y(0, kHz);
    QVERIFY2(std::fabs(level - (-9.03)) < 0.5, qPrintable(QString::number(level)));
    // Two thirds of an octave away the band is far lower.
    QVERIFY(w->AnalyserChart1->Y(0, kHz + 2) < level - 15.0);
    QVERIFY(w->AnalyserChart1->Y(0, kHz - 2) < level - 15.0);
    // Channels that are not measured keep their floor.
    QCOMPARE(w->AnalyserChart1->Y(1, kHz), -120.0);
    // Input 1 carries a peak of 0.5: lime; the readout names channel 1.
    QVERIFY(w->paK[0]->styleSheet().contains("#00FF00"));
    QVERIFY(w->ProgressBar1->value() > 0 || w->FrameCount == 0);
    w->SetStartButton(false);
    QVERIFY(!w->Measuring());
    QCOMPARE(IniData.Pnoise_Testsignal.load(), 0);
    // The stored chart data hold what the chart showed.
    QCOMPARE(int(w->arrStoredChartData.size()), 5);
    QCOMPARE(double(w->arrStoredChartData[0].Y[static_cast<size_t>(kHz)]), double(float(w->AnalyserChart1->Y(0, kHz))));
    QVERIFY(w->DriverCombo->isEnabled());
    QVERIFY(w->cbOktave->isEnabled());
    QCOMPARE(script->Count("For best performace set ASIO buffer to 1024!"), 0);
  }

  void ReadoutWithAWeightingAndSlidingLeq()
  {
    guitest::Script();
    auto w = MakeWindow("[RTA]\nOctave=1\nACZ=1\nLeqMode=1\nLeqw=600\n", kDryRoomRealTime);
    QCOMPARE(w->cbACZ_Gewichtung->currentText(), QString("A"));
    StartSine(*w, 0.5f);
    QVERIFY(WaitFrames(*w, 40));
    QCOMPARE(w->Dispatcher->RTAEngineIEC1[0]->LeqWindowSec(), 600);
    QCOMPARE(w->Dispatcher->RTAEngineIEC1[3]->LeqWindowSec(), 600);
    QCOMPARE(w->Dispatcher->RTAEngineIEC1[0]->Weighting(), fwA);
    const QString readout = w->AnalyserChart1->Annotation(TChartView::TCorner::BottomRight);
    const QRegularExpression form("^Ch1 dBFS\\(A\\):(-?\\d+\\.\\d) Peak\\(A\\):(-?\\d+\\.\\d) LAeq-10:(-?\\d+\\.\\d)$");
    const auto m = form.match(readout);
    QVERIFY2(m.hasMatch(), qPrintable(readout));
    // A weighting is 0 dB at 1 kHz: every value reads the sine's −9.0 dBFS.
    for (int i = 1; i <= 3; ++i)
      QVERIFY2(std::fabs(m.captured(i).toDouble() - (-9.03)) < 0.6, qPrintable(readout));
    w->SetStartButton(false);

    // Z weighting, plain Leq, unit dBFS RMS: 3 dB higher and other labels.
    IniData.RTA_LeqMode = 0;
    w->cbACZ_Gewichtung->setCurrentIndex(0);
    w->cbACZ_GewichtungChange();
    w->dBFSRMS1Click();
    StartSine(*w, 0.5f);
    QVERIFY(WaitFrames(*w, 30));
    const QString rms = w->AnalyserChart1->Annotation(TChartView::TCorner::BottomRight);
    const auto m2 = QRegularExpression("^Ch1 dBFS RMS:(-?\\d+\\.\\d) Peak:(-?\\d+\\.\\d) Leq:(-?\\d+\\.\\d)$").match(rms);
    QVERIFY2(m2.hasMatch(), qPrintable(rms));
    QVERIFY2(std::fabs(m2.captured(1).toDouble() - (-6.03)) < 0.6, qPrintable(rms));
    w->SetStartButton(false);
  }

  void SwitchingTheMeasuredChannel()
  {
    guitest::Script();
    auto w = MakeWindow("[RTA]\nOctave=1\n");
    StartSine(*w, 0.5f);
    QVERIFY(WaitFrames(*w, 20));
    const int kHz = BandIndex(*w, 1000.0f);
    const QVector<double> ch1 = w->AnalyserChart1->YValues(0);
    w->cbCHannelMEss->setCurrentIndex(2);
    w->cbCHannelMEssChange();
    QCOMPARE(w->StatusPanels[2]->text(), QString("Ch3 = In3"));
    QCOMPARE(w->ChannelUpdateMask, 4);
    QCOMPARE(IniData.ASIO_Messkanalkombi, 2);
    QCOMPARE(int(w->Dispatcher->byASIOMesskanalStart.load()), 2);
    // Every engine restarts: the channel-3 engine starts from nothing and rises to the sine.
    QVERIFY(WaitFrames(*w, 30));
    QVERIFY2(std::fabs(w->AnalyserChart1->Y(2, kHz) - (-9.03)) < 0.5, qPrintable(QString::number(w->AnalyserChart1->Y(2, kHz))));
    // Only channel 3 moves: channel 1 keeps its last bars, 2 and 4 their floor.
    const QVector<double> ch1After = w->AnalyserChart1->YValues(0);
    QVERIFY(WaitFrames(*w, 10));
    QCOMPARE(w->AnalyserChart1->YValues(0), ch1After);
    QVERIFY(std::fabs(ch1After[kHz] - ch1[kHz]) < 1.0);
    QCOMPARE(w->AnalyserChart1->Y(1, kHz), -120.0);
    QCOMPARE(w->AnalyserChart1->Y(3, kHz), -120.0);
    w->SetStartButton(false);
  }

  void SwapWhileMeasuringWarnsAndChangesNothing()
  {
    auto* script = guitest::Script();
    auto w = MakeWindow("[RTA]\nOctave=1\n");
    w->ChannelLabels = QStringList{"A", "B", "C", "D"};
    w->SavedChannelLabels = w->ChannelLabels;
    for (int j = 0; j < w->AnalyserChart1->PointCount(3); ++j)
      w->AnalyserChart1->SetY(3, j, -50.0 + j);
    StartSine(*w, 0.5f);
    QVERIFY(WaitFrames(*w, 5));
    const QVector<double> ch4 = w->AnalyserChart1->YValues(3);
    w->CH1CH21Click(0, 3);
    QCOMPARE(script->Count("Not during measurement!"), 1);
    QCOMPARE(w->AnalyserChart1->YValues(3), ch4);
    QCOMPARE(w->ChannelLabels, (QStringList{"A", "B", "C", "D"}));
    w->SetStartButton(false);
    // Stopped, the swap exchanges bars, stored data and labels.
    const QVector<double> ch1 = w->AnalyserChart1->YValues(0);
    w->CH1CH21Click(0, 3);
    QCOMPARE(script->Count("Not during measurement!"), 1);
    QCOMPARE(w->AnalyserChart1->YValues(0), ch4);
    QCOMPARE(w->AnalyserChart1->YValues(3), ch1);
    QCOMPARE(w->ChannelLabels, (QStringList{"D", "B", "C", "A"}));
    QCOMPARE(w->AnalyserChart1->SeriesTitle(0), QString("D"));
    QCOMPARE(double(w->arrStoredChartData[0].Y[3]), double(float(ch4[3])));
  }

  void BufferAdviceOncePerRun()
  {
    auto* script = guitest::Script();
    auto w = MakeWindow("", "clock=free;noise=off;block=512");
    const QString advice = "For best performace set ASIO buffer to 1024!";
    w->SetStartButton(true);
    QVERIFY(w->Measuring());
    QCOMPARE(script->Count(advice), 1);
    w->SetStartButton(false);
    w->SetStartButton(true);
    QCOMPARE(script->Count(advice), 1);
    w->SetStartButton(false);
    QVERIFY(w->lbASIOBufferSize->text().startsWith("Buffer: 512 / "));
  }

  void BarsInEveryUnitWithCorrectionsAndOffsets_data()
  {
    QTest::addColumn<int>("unit");
    QTest::addColumn<double>("splOffset");
    QTest::addColumn<double>("correction");
    QTest::addColumn<int>("slider");
    QTest::addColumn<float>("band");
    QTest::addColumn<double>("expected");
    QTest::newRow("SPL, offset 20") << 2 << 20.0 << 0.0 << 0 << -30.0f << 44.0;
    QTest::newRow("SPL floor") << 2 << 20.0 << 0.0 << 0 << -80.0f << 0.0;
    QTest::newRow("dBFS") << 0 << 20.0 << 0.0 << 0 << -30.0f << -30.0;
    QTest::newRow("dBFS floor") << 0 << 0.0 << 0.0 << 0 << -150.0f << -120.0;
    QTest::newRow("dBFS RMS") << 1 << 0.0 << 0.0 << 0 << -30.0f << -27.0;
    QTest::newRow("correction and offset") << 0 << 0.0 << 2.0 << 3 << -30.0f << -35.0;
    QTest::newRow("offset up") << 0 << 0.0 << 0.0 << -5 << -30.0f << -25.0;
  }

  void BarsInEveryUnitWithCorrectionsAndOffsets()
  {
    QFETCH(int, unit);
    QFETCH(double, splOffset);
    QFETCH(double, correction);
    QFETCH(int, slider);
    QFETCH(float, band);
    QFETCH(double, expected);
    guitest::Script();
    auto w = MakeWindow("[RTA]\nOctave=1\n");
    w->SetUnit(unit, true);
    // Channel 2 is measured and assigned to input 3: the offset of input 3 applies.
    w->cbCHannelMEss->setCurrentIndex(1);
    w->cbCHannelMEssChange();
    w->cbCHannelMEssIn[1]->setCurrentIndex(2);
    w->cbCHannelMEss1Change();
    IniData.MikKorr_SPLOffset[2] = splOffset;
    IniData.MikKorr_SPLOffset[1] = 99.0;  // the channel's own index must not be used
    const int n = int(w->BandFrequencies.size());
    w->BandCorrection.ClearPoints();
    for (int j = 0; j < n; ++j)
      w->BandCorrection.AddPoint(w->BandFrequencies[size_t(j)], float(correction));
    w->trOffset[1]->setValue(slider);
    std::fill(w->Dispatcher->BandLevels[1].begin(), w->Dispatcher->BandLevels[1].end(), band);
    w->UpdateDisplay();
    for (int j : {0, n / 2, n - 1})
      QCOMPARE(w->AnalyserChart1->Y(1, j), expected);
    // Channel 1, outside the update mask, keeps what it showed (the dBFS floor of the activation).
    QCOMPARE(w->AnalyserChart1->Y(0, 0), -120.0);
  }

  void UnitMenuRangesAndClearQuestion()
  {
    auto* script = guitest::Script();
    auto w = MakeWindow("[RTA]\nOctave=1\nUnit=0\n");
    for (int j = 0; j < w->AnalyserChart1->PointCount(0); ++j)
      w->AnalyserChart1->SetY(0, j, -40.0);
    // Idle after the first activation: asks; No keeps the bars.
    script->QueueAnswer(TMsgResult::No);
    w->dB1Click();
    QCOMPARE(script->Count("Clear data?"), 1);
    QCOMPARE(w->AnalyserChart1->LevelMinimum(), 0.0);
    QCOMPARE(w->AnalyserChart1->LevelMaximum(), 120.0);
    QCOMPARE(w->AnalyserChart1->LevelTitle(), QString("SPL dB"));
    QCOMPARE(w->UnitOffset, 94);
    QCOMPARE(w->AnalyserChart1->Y(0, 2), -40.0);
    // Yes resets them to the floor of the unit.
    script->QueueAnswer(TMsgResult::Yes);
    w->dBFSRMS1Click();
    QCOMPARE(script->Count("Clear data?"), 2);
    QCOMPARE(w->AnalyserChart1->LevelMinimum(), -120.0);
    QCOMPARE(w->AnalyserChart1->LevelMaximum(), 0.0);
    QCOMPARE(w->UnitOffset, 3);
    QCOMPARE(IniData.RTA_Unit, 1);
    QCOMPARE(w->AnalyserChart1->Y(0, 2), -120.0);
    // While measuring: cleared without asking.
    w->SetStartButton(true);
    w->dBFs1Click();
    QCOMPARE(script->Count("Clear data?"), 2);
    QCOMPARE(w->UnitOffset, 0);
    w->SetStartButton(false);
  }

  void CursorReadout()
  {
    guitest::Script();
    auto w = MakeWindow("[RTA]\nOctave=1\n");
    const int kHz = BandIndex(*w, 1000.0f);
    QVector<double> y(w->AnalyserChart1->PointCount(0), -60.0);
    y[kHz] = -23.44;
    y[0] = -80.26;
    w->AnalyserChart1->SetYValues(0, y);
    w->sbCursorOnOff->setChecked(true);
    w->sbCursorOnOffClick();
    w->ShowCursorValue(1000.0, -23.44, kHz);
    QCOMPARE(w->AnalyserChart1->Annotation(TChartView::TCorner::BottomLeft),
             QString("Ch1:1.00kHz/-23.4dB Min/Max: -80.3/-23.4"));
    // Below 19 Hz nothing changes.
    w->ShowCursorValue(18.0, -50.0, 0);
    QCOMPARE(w->AnalyserChart1->Annotation(TChartView::TCorner::BottomLeft),
             QString("Ch1:1.00kHz/-23.4dB Min/Max: -80.3/-23.4"));
    // The chart's cursor drives the readout through the nominal band frequency.
    w->AnalyserChart1->MoveCursorTo(12000.0);
    QVERIFY(w->AnalyserChart1->Annotation(TChartView::TCorner::BottomLeft).startsWith("Ch1:12.5kHz/-60.0dB"));
    w->sbCursorOnOff->setChecked(false);
    w->sbCursorOnOffClick();
    QCOMPARE(w->AnalyserChart1->Annotation(TChartView::TCorner::BottomLeft), QString());
  }

  void FrequencyTexts_data()
  {
    QTest::addColumn<double>("f");
    QTest::addColumn<bool>("unit");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 kHz") << 1000.0 << true << 2 << "1.00kHz";
    QTest::newRow("12.5 kHz") << 12500.0 << true << 2 << "12.5kHz";
    QTest::newRow("31.5 Hz") << 31.5 << true << 0 << "31.5Hz";
    QTest::newRow("500 Hz") << 500.0 << true << 2 << "500Hz";
    QTest::newRow("16 kHz label") << 16000.0 << true << 0 << "16kHz";
    QTest::newRow("no unit") << 2000.0 << false << 1 << "2.0";
  }

  void FrequencyTexts()
  {
    QFETCH(double, f);
    QFETCH(bool, unit);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(TFMAnalyzer::FormatFrequency(f, unit, decimals), text);
  }

  void ChannelTextsAndReset()
  {
    auto* script = guitest::Script();
    auto w = MakeWindow("[RTA]\nOctave=1\n");
    script->QueueInput(QString("Mic A"));
    w->CH11Click(1);
    QCOMPARE(script->InputCaptions().last(), QString("Text CH2"));
    QCOMPARE(w->AnalyserChart1->SeriesTitle(1), QString("Mic A"));
    QCOMPARE(w->SavedChannelLabels[1], QString("Mic A"));
    // Cancelled: unchanged.
    script->QueueInput(std::nullopt);
    w->CH11Click(1);
    QCOMPARE(w->AnalyserChart1->SeriesTitle(1), QString("Mic A"));
    // A start keeps the saved labels; "Std" brings back Ch1 … Ch4.
    w->SetStartButton(true);
    QCOMPARE(w->AnalyserChart1->SeriesTitle(1), QString("Mic A"));
    w->SetStartButton(false);
    w->Std1Click();
    QCOMPARE(w->AnalyserChart1->SeriesTitle(1), QString("Ch2"));
    // The shortcuts Ctrl+F1 … Ctrl+F5.
    QCOMPARE(w->CHText[3]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F4));
    QCOMPARE(w->Std1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F5));
    // Reset: every bar to the floor.
    for (int k = 0; k < 4; ++k)
      w->AnalyserChart1->FillY(k, -10.0);
    w->Reset2Click();
    for (int k = 0; k < 4; ++k)
      QCOMPARE(w->AnalyserChart1->Y(k, 3), -120.0);
  }

  void OffsetOfAStoredChannelShiftsTheStoredCurve()
  {
    guitest::Script();
    auto w = MakeWindow("[RTA]\nOctave=1\n");
    for (int j = 0; j < w->AnalyserChart1->PointCount(2); ++j)
      w->AnalyserChart1->SetY(2, j, -40.0);
    w->StoreChartData();
    w->trOffset[2]->setValue(-10);  // moving up raises the curve
    QCOMPARE(w->AnalyserChart1->Y(2, 4), -30.0);
    w->trOffset[2]->setValue(5);
    QCOMPARE(w->AnalyserChart1->Y(2, 4), -45.0);
  }
};

VEMRA_GUI_TEST_MAIN(TestAnalyzerMeasurement)
#include "TestAnalyzerMeasurement.moc"
