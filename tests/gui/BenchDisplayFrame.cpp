// Cost of one display frame of the main window: 121 bands (1/12 octave) in all four channels, the
// broadband readout, the band corrections and the input level panels, and the chart redrawn offscreen.
#include "GuiTestSupport.h"

#include "analyzer/main_f.h"
#include "widgets/ChartView.h"

#include <QtTest>

#include <random>

class BenchDisplayFrame : public QObject
{
  Q_OBJECT

private slots:
  void DisplayFrame()
  {
    qputenv("VEMRA_VIRTUAL_ROOM", "clock=free");
    guitest::WriteIni("[Form]\nWidth=1400\nHeight=850\n[ASIO]\nInterface=Virtual interface\n[RTA]\nOctave=4\n");
    guitest::Script();
    TFMAnalyzer w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.FormActivate();
    QCOMPARE(int(w.BandFrequencies.size()), 121);
    w.ChannelUpdateMask = 15;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> level(-100.0f, -10.0f);
    for (auto& channel : w.Dispatcher->BandLevels)
      for (float& v : channel)
        v = level(random);
    w.BandCorrection.ClearPoints();
    for (float f : w.BandFrequencies)
      w.BandCorrection.AddPoint(f, level(random) / 50.0f);
    w.cbCHannelMEss->setCurrentIndex(0);
    w.AnalyserChart1->RedrawNow();
    for (int i = 0; i < 4; ++i)
      w.Dispatcher->InputPeaks[size_t(i)].store(0.05f * float(i + 1));

    QBENCHMARK {
      for (int k = 0; k < 4; ++k)
        w.ShowInputLevel(w.paK[size_t(k)], int(w.Dispatcher->ChannelInputMap[size_t(k)].load()), w.iCh1LEvelOk,
                         w.Dispatcher->InputPeaks[w.Dispatcher->ChannelInputMap[size_t(k)].load()].load());
      w.UpdateDisplay();
      w.AnalyserChart1->RedrawDataNow();
    }
    QVERIFY(!w.AnalyserChart1->Annotation(TChartView::TCorner::BottomRight).isEmpty());
  }
};

VEMRA_GUI_TEST_MAIN(BenchDisplayFrame)
#include "BenchDisplayFrame.moc"
