#pragma once
// TChartView: the one chart widget of Vemra, a thin layer over QCustomPlot.
//
// A chart holds numbered series (bar or line) in the order they were added. Every series keeps its own
// x/y values (x usually a frequency in Hz), a legend title, optional point labels and a transparency in
// percent (0 = opaque, 100 = invisible). Bars are drawn by the chart itself so that bar widths follow a
// logarithmic frequency axis (a bar fills a share of the distance to its neighbour band), so that series can
// stand side by side (width and offset in percent of that distance) and so that a pseudo-3D layout can place
// the series one behind the other.
//
// Further tools: a cursor (two lines that follow the mouse, snapped to a chosen series), text annotations
// in the corners of the plot area, colour bands across the frequency axis, a difference function (one series
// computed as first minus second of two others, kept up to date at every redraw), rubber-band zoom with
// undo, and export (PNG, PDF, clipboard, print preview).
#include <QColor>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <map>
#include <vector>

class QCustomPlot;
class QCPAbstractPlottable;
class QCPItemStraightLine;
class QCPItemText;
class QCPItemRect;
class QCPLayer;
class QMouseEvent;

class TChartView : public QWidget
{
  Q_OBJECT
public:
  enum class TSeriesKind { Bar, Line };
  enum class TCorner { BottomLeft, BottomRight, TopLeft, TopRight };
  // The axis a colour band spans a range of: Key = frequency or time (a stripe over the whole height),
  // Value = level or measure (a stripe over the whole width, such as a target range).
  enum class TBandAxis { Key, Value };

  explicit TChartView(QWidget* parent = nullptr);
  ~TChartView() override;

  QCustomPlot* Plot() const { return FPlot; }

  // ---- series ----
  int AddBarSeries(const QString& title, const QColor& color);
  int AddLineSeries(const QString& title, const QColor& color, Qt::PenStyle style = Qt::SolidLine,
                    int width = 1);
  int SeriesCount() const { return static_cast<int>(FSeries.size()); }
  TSeriesKind SeriesKind(int s) const;
  void SetSeriesTitle(int s, const QString& title);
  QString SeriesTitle(int s) const;
  void SetSeriesColor(int s, const QColor& color);
  QColor SeriesColor(int s) const;

  // The x values are expected to rise.
  void SetSeriesData(int s, const QVector<double>& x, const QVector<double>& y);
  void ClearSeries(int s);
  int PointCount(int s) const;
  double X(int s, int j) const;
  double Y(int s, int j) const;
  QVector<double> XValues(int s) const;
  QVector<double> YValues(int s) const;
  // Replaces the y values of the existing points (extra values are ignored, missing ones keep theirs).
  void SetYValues(int s, const QVector<double>& y);
  void SetY(int s, int j, double y);
  void FillY(int s, double y);
  void SetPointLabels(int s, const QStringList& labels);
  QStringList PointLabels(int s) const;

  // Transparency in percent, 0 … 100 (100 hides the series but keeps its legend entry).
  void SetTransparency(int s, int percent);
  int Transparency(int s) const;

  // Series `target` becomes first − second, point by point (x of `first`), recomputed at every redraw.
  void SetDifference(int target, int first, int second);
  void ClearDifference(int target);
  bool HasDifference(int target) const;
  void RecalculateFunctions();

  // ---- axes ----
  void SetFrequencyAxis(double minHz, double maxHz, const QString& title);
  // Labelled ticks of the frequency axis, replacing the old ones.
  void SetFrequencyLabels(const QVector<double>& at, const QStringList& texts);
  QVector<double> FrequencyLabelPositions() const;
  QStringList FrequencyLabelTexts() const;
  // The labels drawn: where the axis is too short for all of them, 1 kHz and every second (third …)
  // label either side of it.
  QStringList ShownFrequencyLabelTexts() const;
  // A linear x axis (time charts); the ticks are chosen by the chart.
  void SetLinearXAxis(double min, double max, const QString& title);

  void SetLevelAxis(double min, double max, double step, const QString& title);
  void SetLevelRange(double min, double max);
  void SetLevelMinimum(double min);
  void SetLevelMaximum(double max);
  double LevelMinimum() const;
  double LevelMaximum() const;
  QString LevelTitle() const;
  void SetLevelTitle(const QString& title);
  // Range of the visible series' values (false when there is none).
  bool VisibleValueRange(double& min, double& max) const;
  double XMinimum() const;
  double XMaximum() const;

  // ---- bar layout ----
  // Width and offset in percent of the distance between neighbouring points of the series; the chart
  // centres the set of offsets, so 0/100/200/300 % at 25 % puts four bars side by side around the band.
  void SetBarGeometry(int s, double widthPercent, double offsetPercent);
  double BarWidthPercent(int s) const;
  double BarOffsetPercent(int s) const;
  // Pseudo-3D: every bar series gets a depth; later series stand behind earlier ones.
  void Set3D(bool on);
  bool Is3D() const { return F3D; }

  // ---- tools ----
  void SetCursorEnabled(bool on);
  bool CursorEnabled() const { return FCursorOn; }
  void SetCursorSeries(int s);
  int CursorSeries() const { return FCursorSeries; }
  void SetCursorPen(const QColor& color, Qt::PenStyle style, int width);
  // Moves the cursor as if the mouse were at frequency x (used by keyboard control and tests).
  void MoveCursorTo(double x);

  void SetAnnotation(TCorner corner, const QString& text, const QColor& color = QColor());
  QString Annotation(TCorner corner) const;
  // True while the bottom-left text stands above the bottom-right one (the two do not fit side by side).
  bool AnnotationsStacked() const;
  // Font of an annotation and the box behind it (an invalid colour: no box).
  void SetAnnotationStyle(TCorner corner, const QFont& font, const QColor& box);

  // A band behind the series from From to To on Axis; returns its id.
  int AddColorBand(TBandAxis axis, double from, double to, const QColor& color);
  void RemoveColorBand(int id);
  void ClearColorBands();

  void SetZoomEnabled(bool on);
  void UndoZoom();

  void SetLegendVisible(bool on);
  bool LegendVisible() const;
  void SetBackgroundColor(const QColor& color);
  // Colours of axes, ticks, labels and grid for a dark or a light chart background.
  void SetForegroundColors(const QColor& text, const QColor& grid);

  // ---- output ----
  // Schedules one redraw for the next turn of the event loop (many changes cost one redraw).
  void Redraw();
  // Draws at once (used where a frame must be complete before returning).
  void RedrawNow();
  // After changes of series values, the cursor or the annotations only: redraws just those (axes, grid
  // and legend keep their drawing) and shows the result at the next paint.
  void RedrawData();
  void RedrawDataNow();
  bool SavePng(const QString& fileName, int width = 0, int height = 0);
  bool SavePdf(const QString& fileName, int width = 0, int height = 0);
  void CopyToClipboard();
  void PrintPreview(QWidget* parent);
  QImage Render(int width, int height);

signals:
  // Mouse x (frequency), the snapped y value of the cursor series and the index of its nearest point.
  void CursorMoved(double x, double y, int index);

private:
  struct TSeries
  {
    TSeriesKind Kind = TSeriesKind::Bar;
    QCPAbstractPlottable* Plottable = nullptr;
    QColor Color;
    int Transparency = 0;
    QStringList Labels;
    double WidthPercent = 90.0;
    double OffsetPercent = 0.0;
  };
  struct TDifference
  {
    int First = 0;
    int Second = 0;
  };

  const TSeries& Series(int s) const;
  TSeries& Series(int s);
  void ApplyColor(int s);
  void UpdateBarGeometry();
  void OrderLiveLayer();
  void OnMouseMove(QMouseEvent* event);
  void FitAxisLabels();
  void ApplyFrequencyTicker();
  int LabelAnchor() const;
  int FrequencyLabelStride() const;
  void ArrangeAnnotations();
  void RestoreScreenLayout();
  void PlaceCursor(double x);
  int NearestPoint(int s, double x) const;

  QCustomPlot* FPlot = nullptr;
  QCPLayer* FLive = nullptr;
  std::vector<TSeries> FSeries;
  std::map<int, TDifference> FDifferences;
  std::map<int, QCPItemRect*> FBands;
  int FNextBandId = 1;
  QCPItemStraightLine* FCursorV = nullptr;
  QCPItemStraightLine* FCursorH = nullptr;
  QCPItemText* FAnnotations[4] = {nullptr, nullptr, nullptr, nullptr};
  bool FCursorOn = false;
  int FCursorSeries = 0;
  bool F3D = false;
  double FDefaultXMin = 20.0;
  double FDefaultXMax = 20000.0;
  double FDefaultYMin = -120.0;
  double FDefaultYMax = 0.0;
  double FLevelStep = 5.0;
  QVector<double> FLabelPositions;
  QStringList FLabelTexts;
  int FLabelStride = 1;
};
