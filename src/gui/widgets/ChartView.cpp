#include "widgets/ChartView.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QMargins>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// Bars drawn by the chart: the width of a bar is a share of the pixel distance to the neighbouring point,
// so bars of fractional-octave bands keep equal widths on a logarithmic axis.
class TBarPlottable : public QCPBars
{
public:
  TBarPlottable(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPBars(keyAxis, valueAxis) {}

  double WidthPercent = 90.0;
  double OffsetPercent = 0.0;
  double CentringPercent = 0.0;
  int DepthIndex = 0;  // 3D: 0 = front
  bool ThreeD = false;

protected:
  void draw(QCPPainter* painter) override
  {
    if (!mKeyAxis || !mValueAxis || mDataContainer->isEmpty())
      return;
    const QColor fill = mBrush.color();
    if (fill.alpha() == 0)
      return;
    const QCPAxis* ka = mKeyAxis.data();
    const QCPAxis* va = mValueAxis.data();
    const int n = mDataContainer->size();
    auto it = mDataContainer->constBegin();

    const double basePx = va->coordToPixel(va->range().lower);
    const QRect clip = clipRect();
    // Typical distance between neighbours, for the 3D depth.
    double typicalStep = 12.0;
    if (n > 1)
      typicalStep = std::fabs(ka->coordToPixel((it + 1)->key) - ka->coordToPixel(it->key));
    const double depth = ThreeD ? std::clamp(typicalStep * 0.45, 2.0, 10.0) : 0.0;
    const double shift = depth * DepthIndex;

    const QColor topColor = fill.lighter(135);
    const QColor sideColor = fill.darker(160);
    painter->setAntialiasing(false);

    // One pass collects the faces, then each kind is drawn in one call.
    FFronts.clear();
    FTops.clear();
    FSides.clear();
    double prevPx = 0.0;
    double px = ka->coordToPixel(it->key);
    for (int j = 0; j < n; ++j, ++it) {
      const double nextPx = (j + 1 < n) ? ka->coordToPixel((it + 1)->key) : 0.0;
      double step = typicalStep;
      if (n > 1)
        step = (j + 1 < n) ? std::fabs(nextPx - px) : std::fabs(px - prevPx);
      const double w = step * WidthPercent / 100.0;
      const double centre = px + (OffsetPercent - CentringPercent) / 100.0 * w;
      const double top = va->coordToPixel(it->value);
      prevPx = px;
      px = nextPx;
      if (!(top < basePx) || !std::isfinite(top))
        continue;
      const QRectF r(centre - w / 2.0 + shift, top - shift, w, basePx - top);
      if (r.right() < clip.left() || r.left() > clip.right())
        continue;
      // Whole pixels: the raster engine fills those with its fast path.
      const int left = static_cast<int>(std::lround(r.left()));
      const int right = std::max(static_cast<int>(std::lround(r.right())), left + 1);
      const int topPx = static_cast<int>(std::lround(r.top()));
      const QRect front(left, topPx, right - left, static_cast<int>(std::lround(r.bottom())) - topPx);
      FFronts.push_back(front);
      if (ThreeD) {
        const QRectF f(front);
        const QPointF d(depth, -depth);
        FTops << f.topLeft() << f.topRight() << f.topRight() + d << f.topLeft() + d;
        FSides << f.topRight() << f.topRight() + d << f.bottomRight() + d << f.bottomRight();
      }
    }
    painter->setPen(Qt::NoPen);
    painter->setBrush(fill);
    painter->drawRects(FFronts.constData(), static_cast<int>(FFronts.size()));
    if (ThreeD) {
      painter->setPen(QPen(fill.darker(220), 0));
      painter->setBrush(Qt::NoBrush);
      painter->drawRects(FFronts.constData(), static_cast<int>(FFronts.size()));
      painter->setBrush(topColor);
      for (int i = 0; i + 3 < FTops.size(); i += 4)
        painter->drawPolygon(FTops.constData() + i, 4);
      painter->setBrush(sideColor);
      for (int i = 0; i + 3 < FSides.size(); i += 4)
        painter->drawPolygon(FSides.constData() + i, 4);
    }
  }

private:
  QVector<QRect> FFronts;
  QVector<QPointF> FTops;
  QVector<QPointF> FSides;
};

QCPBars* AsBars(QCPAbstractPlottable* p) { return static_cast<QCPBars*>(p); }
QCPGraph* AsGraph(QCPAbstractPlottable* p) { return static_cast<QCPGraph*>(p); }

// Calls Work with the plottable as what it is; bars and graphs keep their points in containers of the
// same shape (key, value), so one piece of code serves both.
template <class TWork>
decltype(auto) WithPlottable(TChartView::TSeriesKind Kind, QCPAbstractPlottable* Plottable, TWork&& Work)
{
  if (Kind == TChartView::TSeriesKind::Bar)
    return Work(AsBars(Plottable));
  return Work(AsGraph(Plottable));
}

}  // namespace

TChartView::TChartView(QWidget* parent) : QWidget(parent)
{
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  FPlot = new QCustomPlot(this);
  layout->addWidget(FPlot);
  FPlot->setMouseTracking(true);
  FPlot->setNoAntialiasingOnDrag(true);
  FPlot->setPlottingHint(QCP::phCacheLabels, true);
  FPlot->setAntialiasedElements(QCP::aeNone);

  // Everything that changes with the data lives on one buffered layer, so a new frame redraws only that
  // layer; axes, grid and legend stay in the buffers of their own layers.
  FPlot->addLayer("live", FPlot->layer("main"), QCustomPlot::limAbove);
  FLive = FPlot->layer("live");
  FLive->setMode(QCPLayer::lmBuffered);
  // The overlay layer only carries the zoom rectangle while the mouse drags it; sharing the buffer of the
  // layers below it saves one full-size buffer to compose at every frame.
  if (QCPLayer* overlay = FPlot->layer("overlay"))
    overlay->setMode(QCPLayer::lmLogical);

  FPlot->legend->setVisible(true);
  FPlot->legend->setBrush(QColor(0, 0, 0, 150));
  FPlot->legend->setBorderPen(QPen(QColor(128, 128, 128)));
  FPlot->legend->setTextColor(Qt::white);
  FPlot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);

  FCursorV = new QCPItemStraightLine(FPlot);
  FCursorH = new QCPItemStraightLine(FPlot);
  for (auto* line : {FCursorV, FCursorH}) {
    line->setLayer(FLive);
    line->setVisible(false);
    line->setSelectable(false);
  }
  SetCursorPen(QColor(0xFF, 0xFB, 0xF0), Qt::DashDotLine, 3);

  const QPointF places[4] = {{0.01, 0.985}, {0.99, 0.985}, {0.01, 0.015}, {0.99, 0.015}};
  const Qt::Alignment aligns[4] = {Qt::AlignLeft | Qt::AlignBottom, Qt::AlignRight | Qt::AlignBottom,
                                   Qt::AlignLeft | Qt::AlignTop, Qt::AlignRight | Qt::AlignTop};
  for (int i = 0; i < 4; ++i) {
    auto* t = new QCPItemText(FPlot);
    t->setLayer(FLive);
    t->position->setType(QCPItemPosition::ptAxisRectRatio);
    t->position->setCoords(places[i].x(), places[i].y());
    t->setPositionAlignment(aligns[i]);
    t->setTextAlignment(i == 1 || i == 3 ? Qt::AlignRight : Qt::AlignLeft);
    t->setColor(Qt::white);
    t->setSelectable(false);
    t->setText(QString());
    t->setVisible(false);
    FAnnotations[i] = t;
  }

  connect(FPlot, &QCustomPlot::mouseMove, this, &TChartView::OnMouseMove);
  connect(FPlot, &QCustomPlot::beforeReplot, this, &TChartView::RecalculateFunctions);
  connect(FPlot, &QCustomPlot::afterLayout, this, &TChartView::FitAxisLabels);

  SetBackgroundColor(Qt::black);
  SetForegroundColors(QColor(230, 230, 230), QColor(90, 90, 90));
  SetFrequencyAxis(20.0, 20000.0, "f(Hz)");
  SetLevelAxis(-120.0, 0.0, 5.0, "dBFS");
}

TChartView::~TChartView() = default;

const TChartView::TSeries& TChartView::Series(int s) const
{
  if (s < 0 || s >= SeriesCount())
    throw std::out_of_range("chart series index");
  return FSeries[static_cast<size_t>(s)];
}

TChartView::TSeries& TChartView::Series(int s)
{
  if (s < 0 || s >= SeriesCount())
    throw std::out_of_range("chart series index");
  return FSeries[static_cast<size_t>(s)];
}

int TChartView::AddBarSeries(const QString& title, const QColor& color)
{
  TSeries series;
  series.Kind = TSeriesKind::Bar;
  auto* bars = new TBarPlottable(FPlot->xAxis, FPlot->yAxis);
  bars->setLayer(FLive);
  bars->setName(title);
  bars->setAntialiased(false);
  bars->setAntialiasedFill(false);
  bars->setSelectable(QCP::stNone);
  series.Plottable = bars;
  series.Color = color;
  FSeries.push_back(series);
  const int s = SeriesCount() - 1;
  ApplyColor(s);
  UpdateBarGeometry();
  OrderLiveLayer();
  return s;
}

int TChartView::AddLineSeries(const QString& title, const QColor& color, Qt::PenStyle style, int width)
{
  TSeries series;
  series.Kind = TSeriesKind::Line;
  auto* graph = new QCPGraph(FPlot->xAxis, FPlot->yAxis);
  graph->setLayer(FLive);
  graph->setName(title);
  graph->setSelectable(QCP::stNone);
  graph->setLineStyle(QCPGraph::lsLine);
  graph->setAdaptiveSampling(false);
  QPen pen(color, width, style);
  graph->setPen(pen);
  series.Plottable = graph;
  series.Color = color;
  FSeries.push_back(series);
  const int s = SeriesCount() - 1;
  ApplyColor(s);
  OrderLiveLayer();
  return s;
}

TChartView::TSeriesKind TChartView::SeriesKind(int s) const { return Series(s).Kind; }

void TChartView::SetSeriesTitle(int s, const QString& title) { Series(s).Plottable->setName(title); }

QString TChartView::SeriesTitle(int s) const { return Series(s).Plottable->name(); }

void TChartView::SetSeriesColor(int s, const QColor& color)
{
  Series(s).Color = color;
  ApplyColor(s);
}

QColor TChartView::SeriesColor(int s) const { return Series(s).Color; }

void TChartView::ApplyColor(int s)
{
  TSeries& series = Series(s);
  QColor c = series.Color;
  c.setAlpha(static_cast<int>(std::lround(255.0 * (100 - series.Transparency) / 100.0)));
  if (series.Kind == TSeriesKind::Bar) {
    auto* bars = AsBars(series.Plottable);
    bars->setBrush(c);
    bars->setPen(Qt::NoPen);
  } else {
    auto* graph = AsGraph(series.Plottable);
    QPen pen = graph->pen();
    pen.setColor(c);
    graph->setPen(pen);
  }
}

void TChartView::SetSeriesData(int s, const QVector<double>& x, const QVector<double>& y)
{
  const TSeries& series = Series(s);
  const int n = static_cast<int>(std::min(x.size(), y.size()));
  WithPlottable(series.Kind, series.Plottable, [&](auto* p) { p->setData(x.mid(0, n), y.mid(0, n), true); });
}

void TChartView::ClearSeries(int s)
{
  TSeries& series = Series(s);
  WithPlottable(series.Kind, series.Plottable, [](auto* p) { p->data()->clear(); });
  series.Labels.clear();
}

int TChartView::PointCount(int s) const
{
  const TSeries& series = Series(s);
  return WithPlottable(series.Kind, series.Plottable, [](auto* p) { return p->data()->size(); });
}

double TChartView::X(int s, int j) const
{
  const TSeries& series = Series(s);
  if (j < 0 || j >= PointCount(s))
    throw std::out_of_range("chart point index");
  return WithPlottable(series.Kind, series.Plottable, [j](auto* p) { return p->data()->at(j)->key; });
}

double TChartView::Y(int s, int j) const
{
  const TSeries& series = Series(s);
  if (j < 0 || j >= PointCount(s))
    throw std::out_of_range("chart point index");
  return WithPlottable(series.Kind, series.Plottable, [j](auto* p) { return p->data()->at(j)->value; });
}

QVector<double> TChartView::XValues(int s) const
{
  const TSeries& series = Series(s);
  QVector<double> v;
  WithPlottable(series.Kind, series.Plottable, [&v](auto* p) {
    v.reserve(p->data()->size());
    for (auto it = p->data()->constBegin(); it != p->data()->constEnd(); ++it)
      v.push_back(it->key);
  });
  return v;
}

QVector<double> TChartView::YValues(int s) const
{
  const TSeries& series = Series(s);
  QVector<double> v;
  WithPlottable(series.Kind, series.Plottable, [&v](auto* p) {
    v.reserve(p->data()->size());
    for (auto it = p->data()->constBegin(); it != p->data()->constEnd(); ++it)
      v.push_back(it->value);
  });
  return v;
}

void TChartView::SetYValues(int s, const QVector<double>& y)
{
  const TSeries& series = Series(s);
  WithPlottable(series.Kind, series.Plottable, [&y](auto* p) {
    const auto points = p->data();
    const int n = std::min(points->size(), static_cast<int>(y.size()));
    auto it = points->begin();
    for (int j = 0; j < n; ++j, ++it)
      it->value = y[j];
  });
}

void TChartView::SetY(int s, int j, double y)
{
  const TSeries& series = Series(s);
  if (j < 0 || j >= PointCount(s))
    throw std::out_of_range("chart point index");
  WithPlottable(series.Kind, series.Plottable, [j, y](auto* p) { (p->data()->begin() + j)->value = y; });
}

void TChartView::FillY(int s, double y)
{
  const TSeries& series = Series(s);
  WithPlottable(series.Kind, series.Plottable, [y](auto* p) {
    const auto points = p->data();
    for (auto it = points->begin(); it != points->end(); ++it)
      it->value = y;
  });
}

void TChartView::SetPointLabels(int s, const QStringList& labels) { Series(s).Labels = labels; }

QStringList TChartView::PointLabels(int s) const { return Series(s).Labels; }

void TChartView::SetTransparency(int s, int percent)
{
  Series(s).Transparency = std::clamp(percent, 0, 100);
  ApplyColor(s);
}

int TChartView::Transparency(int s) const { return Series(s).Transparency; }

void TChartView::SetDifference(int target, int first, int second)
{
  Series(target);
  Series(first);
  Series(second);
  FDifferences[target] = TDifference{first, second};
  RecalculateFunctions();
}

void TChartView::ClearDifference(int target) { FDifferences.erase(target); }

bool TChartView::HasDifference(int target) const { return FDifferences.count(target) > 0; }

void TChartView::RecalculateFunctions()
{
  for (const auto& [target, d] : FDifferences) {
    const int n = std::min(PointCount(d.First), PointCount(d.Second));
    QVector<double> x(n), y(n);
    for (int j = 0; j < n; ++j) {
      x[j] = X(d.First, j);
      y[j] = Y(d.First, j) - Y(d.Second, j);
    }
    if (PointCount(target) == n) {
      SetYValues(target, y);
    } else {
      SetSeriesData(target, x, y);
    }
  }
}

// ---- axes ----

void TChartView::SetFrequencyAxis(double minHz, double maxHz, const QString& title)
{
  QCPAxis* ax = FPlot->xAxis;
  ax->setScaleType(QCPAxis::stLogarithmic);
  ax->setRange(minHz, maxHz);
  ax->setLabel(title);
  FDefaultXMin = minHz;
  FDefaultXMax = maxHz;
  if (FLabelPositions.isEmpty()) {
    ax->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
  } else {
    SetFrequencyLabels(FLabelPositions, FLabelTexts);
  }
}

void TChartView::SetFrequencyLabels(const QVector<double>& at, const QStringList& texts)
{
  const int n = static_cast<int>(std::min(at.size(), texts.size()));
  FLabelPositions = at.mid(0, n);
  FLabelTexts = texts.mid(0, n);
  FLabelStride = 1;
  ApplyFrequencyTicker();
  FPlot->xAxis->setTickLabelRotation(0);
}

void TChartView::ApplyFrequencyTicker()
{
  auto ticker = QSharedPointer<QCPAxisTickerText>::create();
  const int anchor = LabelAnchor();
  for (int i = 0; i < FLabelPositions.size(); ++i)
    ticker->addTick(FLabelPositions[i], (i - anchor) % FLabelStride == 0 ? FLabelTexts[i] : QString());
  ticker->setSubTickCount(0);
  FPlot->xAxis->setTicker(ticker);
}

int TChartView::LabelAnchor() const
{
  // Thinned labels keep 1 kHz (else the middle label) and every stride-th label either side of it.
  for (int i = 0; i < FLabelPositions.size(); ++i)
    if (std::fabs(FLabelPositions[i] - 1000.0) < 1e-6)
      return i;
  return static_cast<int>(FLabelPositions.size()) / 2;
}

int TChartView::FrequencyLabelStride() const
{
  const int n = static_cast<int>(FLabelPositions.size());
  if (n < 2)
    return 1;
  const QCPAxis* ax = FPlot->xAxis;
  const QFontMetrics fm(ax->tickLabelFont());
  const double gap = fm.horizontalAdvance(QStringLiteral("  "));
  const int anchor = LabelAnchor();
  for (int stride = 1; stride < n; ++stride) {
    bool fits = true;
    double lastRight = -1e9;
    for (int i = 0; i < n && fits; ++i) {
      if ((i - anchor) % stride != 0 || !ax->range().contains(FLabelPositions[i]))
        continue;
      const double x = ax->coordToPixel(FLabelPositions[i]);
      const double half = fm.horizontalAdvance(FLabelTexts[i]) / 2.0;
      fits = x - half >= lastRight + gap;
      lastRight = x + half;
    }
    if (fits)
      return stride;
  }
  return n;
}

void TChartView::FitAxisLabels()
{
  // Runs once the layout of a full replot is known, before anything is drawn: the labels of both axes
  // are chosen for the size the axes really have, so that none overlap.
  bool changed = false;
  // The level axis keeps its step (5 dB) while the labels have room, else the next of 2, 4, 5, 10 times it.
  auto levelTicker = FPlot->yAxis->ticker().dynamicCast<QCPAxisTickerFixed>();
  if (levelTicker && FLevelStep > 0.0) {
    const int height = FPlot->axisRect()->height();
    const double range = FPlot->yAxis->range().size();
    double step = FLevelStep;
    for (double factor : {1.0, 2.0, 4.0, 5.0, 10.0, 20.0}) {
      step = FLevelStep * factor;
      if (range <= 0.0 || height <= 0 || height * step / range >= 24.0)
        break;
    }
    if (step != levelTicker->tickStep()) {
      levelTicker->setTickStep(step);
      changed = true;
    }
  }
  if (!FLabelPositions.isEmpty()) {
    const int stride = FrequencyLabelStride();
    if (stride != FLabelStride) {
      FLabelStride = stride;
      ApplyFrequencyTicker();
      changed = true;
    }
  }
  // New tick vectors for the layout just made (the margins do not depend on which labels are shown).
  if (changed)
    FPlot->axisRect()->update(QCPLayoutElement::upPreparation);
  ArrangeAnnotations();
}

QVector<double> TChartView::FrequencyLabelPositions() const { return FLabelPositions; }

QStringList TChartView::FrequencyLabelTexts() const { return FLabelTexts; }

QStringList TChartView::ShownFrequencyLabelTexts() const
{
  QStringList shown;
  auto ticker = FPlot->xAxis->ticker().dynamicCast<QCPAxisTickerText>();
  if (!ticker)
    return shown;
  for (auto it = ticker->ticks().constBegin(); it != ticker->ticks().constEnd(); ++it)
    if (!it.value().isEmpty())
      shown.push_back(it.value());
  return shown;
}

void TChartView::SetLinearXAxis(double min, double max, const QString& title)
{
  QCPAxis* ax = FPlot->xAxis;
  ax->setScaleType(QCPAxis::stLinear);
  ax->setTicker(QSharedPointer<QCPAxisTicker>::create());
  ax->setRange(min, max);
  ax->setLabel(title);
  FDefaultXMin = min;
  FDefaultXMax = max;
  FLabelPositions.clear();
  FLabelTexts.clear();
}

void TChartView::SetLevelAxis(double min, double max, double step, const QString& title)
{
  auto ticker = QSharedPointer<QCPAxisTickerFixed>::create();
  ticker->setTickStep(step);
  ticker->setScaleStrategy(QCPAxisTickerFixed::ssNone);
  FLevelStep = step;
  FPlot->yAxis->setTicker(ticker);
  FPlot->yAxis->setLabel(title);
  SetLevelRange(min, max);
}

void TChartView::SetLevelRange(double min, double max)
{
  FPlot->yAxis->setRange(min, max);
  FDefaultYMin = min;
  FDefaultYMax = max;
}

void TChartView::SetLevelMinimum(double min) { SetLevelRange(min, FPlot->yAxis->range().upper); }

void TChartView::SetLevelMaximum(double max) { SetLevelRange(FPlot->yAxis->range().lower, max); }

double TChartView::LevelMinimum() const { return FPlot->yAxis->range().lower; }

double TChartView::LevelMaximum() const { return FPlot->yAxis->range().upper; }

QString TChartView::LevelTitle() const { return FPlot->yAxis->label(); }

void TChartView::SetLevelTitle(const QString& title) { FPlot->yAxis->setLabel(title); }

bool TChartView::VisibleValueRange(double& min, double& max) const
{
  bool found = false;
  for (int s = 0; s < SeriesCount(); ++s) {
    if (Series(s).Transparency >= 100)
      continue;
    const int n = PointCount(s);
    for (int j = 0; j < n; ++j) {
      const double y = Y(s, j);
      if (!std::isfinite(y))
        continue;
      if (!found) {
        min = max = y;
        found = true;
      } else {
        min = std::min(min, y);
        max = std::max(max, y);
      }
    }
  }
  return found;
}

double TChartView::XMinimum() const { return FPlot->xAxis->range().lower; }

double TChartView::XMaximum() const { return FPlot->xAxis->range().upper; }

// ---- bar layout ----

void TChartView::SetBarGeometry(int s, double widthPercent, double offsetPercent)
{
  TSeries& series = Series(s);
  if (series.Kind != TSeriesKind::Bar)
    throw std::invalid_argument("bar geometry of a line series");
  series.WidthPercent = widthPercent;
  series.OffsetPercent = offsetPercent;
  UpdateBarGeometry();
}

double TChartView::BarWidthPercent(int s) const { return Series(s).WidthPercent; }

double TChartView::BarOffsetPercent(int s) const { return Series(s).OffsetPercent; }

void TChartView::Set3D(bool on)
{
  F3D = on;
  UpdateBarGeometry();
  OrderLiveLayer();
}

void TChartView::UpdateBarGeometry()
{
  double sum = 0.0;
  int count = 0;
  for (const TSeries& series : FSeries) {
    if (series.Kind == TSeriesKind::Bar) {
      sum += series.OffsetPercent;
      ++count;
    }
  }
  const double centring = count > 0 ? sum / count : 0.0;
  int depth = 0;
  for (TSeries& series : FSeries) {
    if (series.Kind != TSeriesKind::Bar)
      continue;
    auto* bars = static_cast<TBarPlottable*>(series.Plottable);
    bars->WidthPercent = series.WidthPercent;
    bars->OffsetPercent = series.OffsetPercent;
    bars->CentringPercent = centring;
    bars->ThreeD = F3D;
    bars->DepthIndex = F3D ? depth : 0;
    ++depth;
  }
}

void TChartView::OrderLiveLayer()
{
  // Drawing order on the live layer: bars (in 3D the later series first, so the first stands in front),
  // then lines, then the cursor and the annotations. A layerable added to a layer goes on top of it.
  std::vector<QCPLayerable*> order;
  std::vector<QCPLayerable*> bars;
  for (const TSeries& series : FSeries)
    if (series.Kind == TSeriesKind::Bar)
      bars.push_back(series.Plottable);
  if (F3D)
    std::reverse(bars.begin(), bars.end());
  order.insert(order.end(), bars.begin(), bars.end());
  for (const TSeries& series : FSeries)
    if (series.Kind == TSeriesKind::Line)
      order.push_back(series.Plottable);
  order.push_back(FCursorV);
  order.push_back(FCursorH);
  for (QCPItemText* t : FAnnotations)
    order.push_back(t);
  QCPLayer* main = FPlot->layer("main");
  for (QCPLayerable* l : order) {
    if (!l)
      continue;
    l->setLayer(main);
    l->setLayer(FLive);
  }
}

// ---- tools ----

void TChartView::SetCursorEnabled(bool on)
{
  FCursorOn = on;
  FCursorV->setVisible(on);
  FCursorH->setVisible(on);
  if (on) {
    const double mid = std::sqrt(FPlot->xAxis->range().lower * FPlot->xAxis->range().upper);
    PlaceCursor(FPlot->xAxis->scaleType() == QCPAxis::stLogarithmic ? mid : FPlot->xAxis->range().center());
  }
  Redraw();
}

void TChartView::SetCursorSeries(int s)
{
  Series(s);
  FCursorSeries = s;
}

void TChartView::SetCursorPen(const QColor& color, Qt::PenStyle style, int width)
{
  const QPen pen(color, width, style);
  FCursorV->setPen(pen);
  FCursorH->setPen(pen);
}

void TChartView::MoveCursorTo(double x)
{
  if (FCursorOn)
    PlaceCursor(x);
}

void TChartView::OnMouseMove(QMouseEvent* event)
{
  if (!FCursorOn)
    return;
  const QPointF pos = event->position();
  if (!FPlot->axisRect()->rect().contains(pos.toPoint()))
    return;
  PlaceCursor(FPlot->xAxis->pixelToCoord(pos.x()));
}

int TChartView::NearestPoint(int s, double x) const
{
  const int n = PointCount(s);
  if (n == 0)
    return -1;
  const bool logScale = FPlot->xAxis->scaleType() == QCPAxis::stLogarithmic;
  auto distance = [&](double a) {
    if (logScale && a > 0.0 && x > 0.0)
      return std::fabs(std::log(a / x));
    return std::fabs(a - x);
  };
  int best = 0;
  double bestDistance = distance(X(s, 0));
  for (int j = 1; j < n; ++j) {
    const double d = distance(X(s, j));
    if (d < bestDistance) {
      bestDistance = d;
      best = j;
    }
  }
  return best;
}

void TChartView::PlaceCursor(double x)
{
  if (FCursorSeries >= SeriesCount())
    return;
  const int index = NearestPoint(FCursorSeries, x);
  if (index < 0)
    return;
  const double barX = X(FCursorSeries, index);
  const double y = Y(FCursorSeries, index);
  const QCPRange yr = FPlot->yAxis->range();
  const QCPRange xr = FPlot->xAxis->range();
  FCursorV->point1->setCoords(barX, yr.lower);
  FCursorV->point2->setCoords(barX, yr.upper);
  FCursorH->point1->setCoords(xr.lower, y);
  FCursorH->point2->setCoords(xr.upper, y);
  emit CursorMoved(x, y, index);
  RedrawData();
}

void TChartView::SetAnnotation(TCorner corner, const QString& text, const QColor& color)
{
  QCPItemText* t = FAnnotations[static_cast<int>(corner)];
  t->setText(text);
  t->setVisible(!text.isEmpty());
  if (color.isValid())
    t->setColor(color);
  ArrangeAnnotations();
}

bool TChartView::AnnotationsStacked() const
{
  return FAnnotations[static_cast<int>(TCorner::BottomLeft)]->position->typeY() == QCPItemPosition::ptAbsolute;
}

void TChartView::ArrangeAnnotations()
{
  // The two bottom texts share a line while they fit beside each other; otherwise the left one stands
  // above the right one.
  QCPItemText* left = FAnnotations[static_cast<int>(TCorner::BottomLeft)];
  QCPItemText* right = FAnnotations[static_cast<int>(TCorner::BottomRight)];
  const QRect area = FPlot->axisRect()->rect();
  auto size = [](const QCPItemText* t) {
    const QRect r = QFontMetrics(t->font()).boundingRect(QRect(), Qt::TextDontClip | t->textAlignment(), t->text());
    return QSize(r.width() + t->padding().left() + t->padding().right(),
                 r.height() + t->padding().top() + t->padding().bottom());
  };
  bool stack = false;
  if (left->visible() && right->visible() && area.width() > 0)
    stack = size(left).width() + size(right).width() + 0.02 * area.width() + 6 > area.width();
  const double bottomRatio = 0.985;
  if (stack) {
    const double rightTop = area.top() + bottomRatio * area.height() - size(right).height();
    left->position->setTypeY(QCPItemPosition::ptAbsolute);
    left->position->setCoords(0.01, rightTop - 3.0);
  } else {
    left->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    left->position->setCoords(0.01, bottomRatio);
  }
}

void TChartView::SetAnnotationStyle(TCorner corner, const QFont& font, const QColor& box)
{
  QCPItemText* t = FAnnotations[static_cast<int>(corner)];
  t->setFont(font);
  if (box.isValid()) {
    t->setBrush(box);
    t->setPen(QPen(box.lighter(160), 1));
    t->setPadding(QMargins(6, 3, 6, 3));
  } else {
    t->setBrush(Qt::NoBrush);
    t->setPen(Qt::NoPen);
    t->setPadding(QMargins());
  }
}

QString TChartView::Annotation(TCorner corner) const { return FAnnotations[static_cast<int>(corner)]->text(); }

int TChartView::AddColorBand(TBandAxis axis, double from, double to, const QColor& color)
{
  auto* rect = new QCPItemRect(FPlot);
  rect->setLayer("background");
  // Along the band's axis in plot coordinates, across it from edge to edge of the axis rectangle.
  const auto along = QCPItemPosition::ptPlotCoords;
  const auto across = QCPItemPosition::ptAxisRectRatio;
  for (QCPItemPosition* corner : {rect->topLeft, rect->bottomRight}) {
    corner->setTypeX(axis == TBandAxis::Key ? along : across);
    corner->setTypeY(axis == TBandAxis::Key ? across : along);
  }
  if (axis == TBandAxis::Key) {
    rect->topLeft->setCoords(from, 0.0);
    rect->bottomRight->setCoords(to, 1.0);
  } else {
    rect->topLeft->setCoords(0.0, std::max(from, to));
    rect->bottomRight->setCoords(1.0, std::min(from, to));
  }
  rect->setPen(Qt::NoPen);
  rect->setBrush(color);
  rect->setSelectable(false);
  const int id = FNextBandId++;
  FBands[id] = rect;
  return id;
}

void TChartView::RemoveColorBand(int id)
{
  auto it = FBands.find(id);
  if (it == FBands.end())
    return;
  FPlot->removeItem(it->second);
  FBands.erase(it);
}

void TChartView::ClearColorBands()
{
  for (auto& [id, rect] : FBands)
    FPlot->removeItem(rect);
  FBands.clear();
}

void TChartView::SetZoomEnabled(bool on) { FPlot->setSelectionRectMode(on ? QCP::srmZoom : QCP::srmNone); }

void TChartView::UndoZoom()
{
  FPlot->xAxis->setRange(FDefaultXMin, FDefaultXMax);
  FPlot->yAxis->setRange(FDefaultYMin, FDefaultYMax);
  Redraw();
}

void TChartView::SetLegendVisible(bool on) { FPlot->legend->setVisible(on); }

bool TChartView::LegendVisible() const { return FPlot->legend->visible(); }

void TChartView::SetBackgroundColor(const QColor& color)
{
  FPlot->setBackground(color);
  FPlot->axisRect()->setBackground(color);
}

void TChartView::SetForegroundColors(const QColor& text, const QColor& grid)
{
  for (QCPAxis* ax : {FPlot->xAxis, FPlot->yAxis}) {
    ax->setBasePen(QPen(text, 1));
    ax->setTickPen(QPen(text, 1));
    ax->setSubTickPen(QPen(text, 1));
    ax->setTickLabelColor(text);
    ax->setLabelColor(text);
    ax->grid()->setPen(QPen(grid, 1, Qt::DotLine));
    ax->grid()->setSubGridVisible(false);
  }
  FPlot->legend->setTextColor(text);
}

// ---- output ----

void TChartView::Redraw() { FPlot->replot(QCustomPlot::rpQueuedReplot); }

void TChartView::RedrawNow() { FPlot->replot(QCustomPlot::rpImmediateRefresh); }

void TChartView::RedrawData()
{
  RecalculateFunctions();
  // Falls back to a whole replot while the layer buffers are not valid (first drawing, resize).
  FLive->replot();
}

void TChartView::RedrawDataNow()
{
  RedrawData();
  FPlot->repaint();
}

// An export lays the chart out for its own size and leaves that layout behind; the live layer, which is
// redrawn on its own at every frame, would then be drawn with it. A full replot lays the screen out again.
void TChartView::RestoreScreenLayout() { FPlot->replot(QCustomPlot::rpQueuedRefresh); }

bool TChartView::SavePng(const QString& fileName, int width, int height)
{
  const bool ok = FPlot->savePng(fileName, width, height);
  RestoreScreenLayout();
  return ok;
}

bool TChartView::SavePdf(const QString& fileName, int width, int height)
{
  const bool ok = FPlot->savePdf(fileName, width, height, QCP::epNoCosmetic, "Vemra");
  RestoreScreenLayout();
  return ok;
}

void TChartView::CopyToClipboard()
{
  QApplication::clipboard()->setPixmap(FPlot->toPixmap());
  RestoreScreenLayout();
}

QImage TChartView::Render(int width, int height)
{
  QImage image = FPlot->toPixmap(width, height).toImage();
  RestoreScreenLayout();
  return image;
}

void TChartView::PrintPreview(QWidget* parent)
{
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageOrientation(QPageLayout::Landscape);
  QPrintPreviewDialog dialog(&printer, parent);
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) {
    QCPPainter painter(p);
    const QRectF page = p->pageRect(QPrinter::DevicePixel);
    const int w = FPlot->width() > 0 ? FPlot->width() : 800;
    const int h = FPlot->height() > 0 ? FPlot->height() : 500;
    const double scale = std::min(page.width() / w, page.height() / h);
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    painter.scale(scale, scale);
    FPlot->toPainter(&painter, w, h);
    RestoreScreenLayout();
  });
  dialog.exec();
}
