// The chart adapter: bar geometry on the logarithmic frequency axis, transparency, layouts, the
// difference function, the cursor and the export paths.
#include "widgets/ChartView.h"

#include <qcustomplot.h>

#include <QFontMetrics>
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

  void ColorBandsSpanTheirAxisAndGoAgain()
  {
    TFixture f;
    const QColor red(200, 0, 0);
    const int target = f.chart.AddColorBand(TChartView::TBandAxis::Value, -40.0, -20.0, red);
    const int range = f.chart.AddColorBand(TChartView::TBandAxis::Key, 100.0, 200.0, red);
    QImage image = f.Image();
    QVERIFY(Near(image.pixelColor(f.At(27.0, -33.0)), red));      // the value band over the whole width
    QVERIFY(Near(image.pixelColor(f.At(14500.0, -33.0)), red));
    QVERIFY(Near(image.pixelColor(f.At(1130.0, -63.0)), Qt::black));
    QVERIFY(Near(image.pixelColor(f.At(133.0, -112.0)), red));    // the key band over the whole height
    QVERIFY(Near(image.pixelColor(f.At(133.0, -3.0)), red));
    QVERIFY(Near(image.pixelColor(f.At(330.0, -112.0)), Qt::black));
    f.chart.RemoveColorBand(target);
    image = f.Image();
    QVERIFY(Near(image.pixelColor(f.At(1130.0, -33.0)), Qt::black));
    QVERIFY(Near(image.pixelColor(f.At(133.0, -112.0)), red));
    f.chart.RemoveColorBand(range);
    QVERIFY(Near(f.Image().pixelColor(f.At(133.0, -112.0)), Qt::black));
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

  void AxisLabelsNeverOverlap()
  {
    TFixture f;
    const QVector<double> at{20, 31.5, 50, 80, 125, 200, 315, 500, 1000, 2000, 4000, 8000, 16000};
    const QStringList texts{"20Hz",  "31.5Hz", "50Hz", "80Hz", "125Hz", "200Hz", "315Hz",
                            "500Hz", "1kHz",   "2kHz", "4kHz", "8kHz",  "16kHz"};
    f.chart.SetFrequencyLabels(at, texts);
    auto* plot = f.chart.Plot();
    // Drawn labels in pixels: each one's extent on the frequency axis.
    auto overlaps = [&] {
      const QFontMetrics fm(plot->xAxis->tickLabelFont());
      double lastRight = -1e9;
      for (int i = 0; i < at.size(); ++i) {
        if (!f.chart.ShownFrequencyLabelTexts().contains(texts[i]))
          continue;
        const double x = plot->xAxis->coordToPixel(at[i]);
        const double half = fm.horizontalAdvance(texts[i]) / 2.0;
        if (x - half < lastRight)
          return true;
        lastRight = x + half;
      }
      return false;
    };
    // Wide: every label. Narrow: fewer, 1 kHz among them, none overlapping. Wide again: all of them.
    f.chart.resize(1600, 500);
    plot->replot();
    QCOMPARE(f.chart.ShownFrequencyLabelTexts(), texts);
    f.chart.resize(420, 300);
    QVERIFY(QTest::qWaitFor([&] { return plot->width() == 420; }, 5000));
    plot->replot();
    const QStringList narrow = f.chart.ShownFrequencyLabelTexts();
    QVERIFY2(narrow.size() < texts.size() && narrow.size() >= 4, qPrintable(narrow.join(" ")));
    QVERIFY(narrow.contains("1kHz"));
    QVERIFY(!overlaps());
    // The logical labels stay what they were set to.
    QCOMPARE(f.chart.FrequencyLabelTexts(), texts);
    // The level axis keeps 24 pixels per label at this height as well, from the first replot on.
    auto ticker = plot->yAxis->ticker().dynamicCast<QCPAxisTickerFixed>();
    QVERIFY(ticker);
    QVERIFY(plot->axisRect()->height() * ticker->tickStep() / plot->yAxis->range().size() >= 24.0);
    f.chart.resize(1600, 500);
    QVERIFY(QTest::qWaitFor([&] { return plot->width() == 1600; }, 5000));
    plot->replot();
    QCOMPARE(f.chart.ShownFrequencyLabelTexts(), texts);
  }

  void BottomTextsStackWhenTheyDoNotFitSideBySide()
  {
    TFixture f;
    f.chart.SetAnnotation(TChartView::TCorner::BottomRight, "Ch1 dBFS:-23.4 Peak:-20.1 LAeq-10:-25.0");
    f.chart.SetAnnotation(TChartView::TCorner::BottomLeft, "Ch1:1.00kHz/-23.4dB Min/Max: -80.3/-23.4");
    f.chart.Plot()->replot();
    QVERIFY(!f.chart.AnnotationsStacked());
    f.chart.resize(480, 400);
    QVERIFY(QTest::qWaitFor([&] { return f.chart.Plot()->width() == 480; }, 5000));
    f.chart.Plot()->replot();
    QVERIFY(f.chart.AnnotationsStacked());
    // Stacked, the left text ends above the right one.
    QCPItemText* left = nullptr;
    QCPItemText* right = nullptr;
    for (int i = 0; i < f.chart.Plot()->itemCount(); ++i)
      if (auto* t = qobject_cast<QCPItemText*>(f.chart.Plot()->item(i))) {
        if (t->text().startsWith("Ch1:"))
          left = t;
        else if (t->text().startsWith("Ch1 "))
          right = t;
      }
    QVERIFY(left && right);
    QVERIFY(left->bottom->pixelPosition().y() < right->top->pixelPosition().y());
    // Without the cursor text the readout stands alone.
    f.chart.SetAnnotation(TChartView::TCorner::BottomLeft, QString());
    QVERIFY(!f.chart.AnnotationsStacked());
  }

  void ExportKeepsTheScreenLayout()
  {
    TFixture f;
    const int s = f.chart.AddBarSeries("Ch1", Qt::green);
    f.chart.SetSeriesData(s, f.x, QVector<double>(f.x.size(), -40.0));
    f.chart.Plot()->replot();
    const QRect screen = f.chart.Plot()->axisRect()->rect();
    QTemporaryDir dir;
    QVERIFY(f.chart.SavePng(dir.filePath("small.png"), 400, 250));
    QCOMPARE(f.chart.Plot()->axisRect()->rect(), screen);
    f.chart.Render(300, 200);
    QCOMPARE(f.chart.Plot()->axisRect()->rect(), screen);
    // A live frame after the export draws the bar where the axes say it is.
    f.chart.SetY(s, 17, -30.0);
    f.chart.RedrawDataNow();
    const QImage img = f.chart.Plot()->grab().toImage();
    QVERIFY(Near(img.pixelColor(f.At(f.x[17], -35.0)), Qt::green));
  }

  void ZoomUndoRestoresTheDefaultRanges()
  {
    TFixture f;
    // A rectangle dragged with the mouse zooms into it.
    f.chart.SetZoomEnabled(true);
    QWidget* plot = f.chart.Plot();
    const QPoint from = f.At(100.0, -20.0), to = f.At(1000.0, -60.0);
    QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), plot->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, to);
    QVERIFY2(std::fabs(f.chart.XMinimum() - 100.0) < 5.0 && std::fabs(f.chart.XMaximum() - 1000.0) < 50.0,
             qPrintable(QString("%1 %2").arg(f.chart.XMinimum()).arg(f.chart.XMaximum())));
    QVERIFY(std::fabs(f.chart.LevelMaximum() - (-20.0)) < 1.0);
    QVERIFY(std::fabs(f.chart.LevelMinimum() - (-60.0)) < 1.0);
    f.chart.UndoZoom();
    QCOMPARE(f.chart.XMinimum(), 20.0);
    QCOMPARE(f.chart.LevelMinimum(), -120.0);
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
