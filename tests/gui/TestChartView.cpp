// The chart adapter: bar geometry on the logarithmic frequency axis, transparency, layouts, the
// difference function, the cursor and the export paths.
#include "widgets/ChartView.h"

#include <qcustomplot.h>

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// Third-octave band centres 20 Hz … 20 kHz.
QVector<double> ThirdOctaveCentres()
{
  QVector<double> x;
  for (int k = -17; k <= 13; ++k)
    x.push_back(1000.0 * std::pow(2.0, k / 3.0));
  return x;
}

bool Near(QColor a, QColor b, int tolerance = 12)
{
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

}  // namespace

class TestChartView : public QObject
{
  Q_OBJECT

  struct TFixture
  {
    TChartView chart;
    QVector<double> x = ThirdOctaveCentres();
    TFixture()
    {
      chart.resize(900, 500);
      chart.show();
      if (!QTest::qWaitForWindowExposed(&chart))
        qWarning("chart window not exposed");
      chart.SetLegendVisible(false);
      chart.SetFrequencyAxis(20.0, 20000.0, "f(Hz)");
      chart.SetLevelAxis(-120.0, 0.0, 5.0, "dBFS");
      chart.Plot()->replot();
    }
    // Pixel position of frequency f and level y in a rendering of the chart's own size.
    QPoint At(double f, double y) const
    {
      auto* plot = chart.Plot();
      return QPoint(int(std::lround(plot->xAxis->coordToPixel(f))), int(std::lround(plot->yAxis->coordToPixel(y))));
    }
    QImage Image()
    {
      chart.Plot()->replot();
      return chart.Render(chart.Plot()->width(), chart.Plot()->height());
    }
  };

private slots:
  void BarsFillTheirShareOfTheBand()
  {
    TFixture f;
    const int s = f.chart.AddBarSeries("Ch1", Qt::green);
    f.chart.SetSeriesData(s, f.x, QVector<double>(f.x.size(), -60.0));
    f.chart.SetBarGeometry(s, 50.0, 0.0);
    QImage img = f.Image();
    const double kHz = f.x[17];
    // Centre of the 1 kHz bar at −92 dB (between grid lines): bar colour; above the bar top: background.
    QVERIFY(Near(img.pixelColor(f.At(kHz, -92.0)), Qt::green));
    QVERIFY(Near(img.pixelColor(f.At(kHz, -30.0)), Qt::black));
    // A bar of 50 % leaves the middle between two bands empty (1/6 octave above the centre),
    // while 1/12 octave minus a little is still inside the bar.
    QVERIFY(Near(img.pixelColor(f.At(kHz * std::pow(2.0, 1.0 / 6.0), -92.0)), Qt::black));
    QVERIFY(Near(img.pixelColor(f.At(kHz * std::pow(2.0, 1.0 / 14.0), -92.0)), Qt::green));
    // Values below the axis floor draw nothing.
    f.chart.SetY(s, 17, -150.0);
    img = f.Image();
    QVERIFY(Near(img.pixelColor(f.At(kHz, -110.0)), Qt::black));
  }

  void SideBySideAndThreeDLayouts()
  {
    TFixture f;
    const int a = f.chart.AddBarSeries("Ch1", Qt::green);
    const int b = f.chart.AddBarSeries("Ch2", Qt::yellow);
    f.chart.SetSeriesData(a, f.x, QVector<double>(f.x.size(), -40.0));
    f.chart.SetSeriesData(b, f.x, QVector<double>(f.x.size(), -40.0));
    // Side by side: two 25 % bars at offsets 0 and 100 %, centred around the band: the first lies left of
    // the centre frequency, the second right of it.
    f.chart.SetBarGeometry(a, 25.0, 0.0);
    f.chart.SetBarGeometry(b, 25.0, 100.0);
    const double kHz = f.x[17];
    const double eighth = std::pow(2.0, 1.0 / 3.0 * 0.125);  // an eighth of the band distance
    QImage img = f.Image();
    QVERIFY(Near(img.pixelColor(f.At(kHz / eighth, -80.0)), Qt::green));
    QVERIFY(Near(img.pixelColor(f.At(kHz * eighth, -80.0)), Qt::yellow));

    // Standard, 90 % each: the later series is drawn over the earlier one.
    f.chart.SetBarGeometry(a, 90.0, 0.0);
    f.chart.SetBarGeometry(b, 90.0, 0.0);
    img = f.Image();
    QVERIFY(Near(img.pixelColor(f.At(kHz, -80.0)), Qt::yellow));
    // 3D: the first series stands in front, the second is moved back (up and right).
    f.chart.Set3D(true);
    img = f.Image();
    QVERIFY(Near(img.pixelColor(f.At(kHz, -80.0)), Qt::green));
    QVERIFY(f.chart.Is3D());
  }

  void TransparencyHidesAndBlends()
  {
    TFixture f;
    const int s = f.chart.AddBarSeries("Ch1", QColor(0, 255, 0));
    f.chart.SetSeriesData(s, f.x, QVector<double>(f.x.size(), -20.0));
    const QPoint p = f.At(f.x[17], -60.0);
    f.chart.SetTransparency(s, 100);
    QVERIFY(Near(f.Image().pixelColor(p), Qt::black));
    f.chart.SetTransparency(s, 35);
    const QColor blended = f.Image().pixelColor(p);
    QVERIFY2(std::abs(blended.green() - 166) <= 3, qPrintable(blended.name()));
    f.chart.SetTransparency(s, 0);
    QVERIFY(Near(f.Image().pixelColor(p), QColor(0, 255, 0)));
    QCOMPARE(f.chart.Transparency(s), 0);
  }

  void DifferenceFollowsItsSources()
  {
    TFixture f;
    const int a = f.chart.AddBarSeries("Ch1", Qt::green);
    const int b = f.chart.AddBarSeries("Ch2", Qt::yellow);
    const int d = f.chart.AddLineSeries("-", Qt::red, Qt::DashDotLine, 3);
    QVector<double> ya, yb;
    for (int j = 0; j < f.x.size(); ++j) {
      ya.push_back(-10.0 - j);
      yb.push_back(-50.0 + 0.5 * j);
    }
    f.chart.SetSeriesData(a, f.x, ya);
    f.chart.SetSeriesData(b, f.x, yb);
    f.chart.SetDifference(d, a, b);
    QCOMPARE(f.chart.PointCount(d), f.x.size());
    QCOMPARE(f.chart.Y(d, 0), 40.0);
    QCOMPARE(f.chart.Y(d, 10), -20.0 + 45.0);
    QCOMPARE(f.chart.X(d, 10), f.x[10]);
    // A change of a source shows at the next redraw.
    f.chart.SetY(a, 10, 0.0);
    f.chart.RedrawNow();
    QCOMPARE(f.chart.Y(d, 10), 45.0);
    f.chart.ClearDifference(d);
    f.chart.SetY(a, 10, -5.0);
    f.chart.RedrawNow();
    QCOMPARE(f.chart.Y(d, 10), 45.0);
    QVERIFY(!f.chart.HasDifference(d));
  }

  void CursorSnapsToTheNearestBand()
  {
    TFixture f;
    const int a = f.chart.AddBarSeries("Ch1", Qt::green);
    const int b = f.chart.AddBarSeries("Ch2", Qt::yellow);
    QVector<double> ya, yb;
    for (int j = 0; j < f.x.size(); ++j) {
      ya.push_back(-j);
      yb.push_back(-100.0 + j);
    }
    f.chart.SetSeriesData(a, f.x, ya);
    f.chart.SetSeriesData(b, f.x, yb);
    QSignalSpy spy(&f.chart, &TChartView::CursorMoved);
    f.chart.MoveCursorTo(1000.0);
    QCOMPARE(spy.count(), 0);  // cursor off: nothing
    f.chart.SetCursorSeries(b);
    f.chart.SetCursorEnabled(true);
    spy.clear();
    // 1100 Hz is nearer (in octaves) to 1000 Hz than to 1260 Hz.
    f.chart.MoveCursorTo(1100.0);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0][0].toDouble(), 1100.0);
    QCOMPARE(spy[0][1].toDouble(), -83.0);
    QCOMPARE(spy[0][2].toInt(), 17);
    f.chart.MoveCursorTo(1200.0);
    QCOMPARE(spy[1][2].toInt(), 18);
  }

  void ExportsAndVisibleRange()
  {
    TFixture f;
    const int s = f.chart.AddBarSeries("Ch1", Qt::green);
    QVector<double> y(f.x.size(), -70.0);
    y[3] = -12.5;
    f.chart.SetSeriesData(s, f.x, y);
    f.chart.SetFrequencyLabels({31.5, 1000.0, 16000.0}, {"31.5Hz", "1kHz", "16kHz"});
    double lo = 0, hi = 0;
    QVERIFY(f.chart.VisibleValueRange(lo, hi));
    QCOMPARE(lo, -70.0);
    QCOMPARE(hi, -12.5);
    f.chart.SetTransparency(s, 100);
    QVERIFY(!f.chart.VisibleValueRange(lo, hi));

    QTemporaryDir dir;
    const QString png = dir.filePath("c.png");
    QVERIFY(f.chart.SavePng(png, 640, 360));
    QImage img(png);
    QCOMPARE(img.size(), QSize(640, 360));
    const QString pdf = dir.filePath("c.pdf");
    QVERIFY(f.chart.SavePdf(pdf, 640, 360));
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(4), QByteArray("%PDF"));
    file.close();
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    if (text.waitForFinished(10000) && text.exitCode() == 0) {
      const QString out = QString::fromUtf8(text.readAllStandardOutput());
      QVERIFY2(out.contains("1kHz") && out.contains("f(Hz)"), qPrintable(out));
    }
  }

  void ZoomUndoRestoresTheDefaultRanges()
  {
    TFixture f;
    f.chart.SetLevelRange(-90.0, 10.0);
    f.chart.Plot()->xAxis->setRange(100.0, 200.0);
    f.chart.Plot()->yAxis->setRange(-20.0, -10.0);
    f.chart.UndoZoom();
    QCOMPARE(f.chart.XMinimum(), 20.0);
    QCOMPARE(f.chart.XMaximum(), 20000.0);
    QCOMPARE(f.chart.LevelMinimum(), -90.0);
    QCOMPARE(f.chart.LevelMaximum(), 10.0);
  }
};

QTEST_MAIN(TestChartView)
#include "TestChartView.moc"
