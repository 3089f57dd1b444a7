#include "room/TRT60Model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "io/FormatFixed.h"
#include "io/UILanguage.h"
#include "room/uRT60Complete.h"

namespace {

bool Finite(double v) { return std::isfinite(v); }

bool AllFinite(const std::vector<float>& v) {
  return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
}

bool RecordFinite(const tMessdatensatz& r) {
  return Finite(r.T20_sec) && Finite(r.T30_sec) && Finite(r.EDT_sec) && Finite(r.C50_dB) && Finite(r.C80_dB) &&
         Finite(r.ts_ms) && AllFinite(r.t20arr) && AllFinite(r.t30arr) && AllFinite(r.EDTarr) &&
         AllFinite(r.C50Arr) && AllFinite(r.C80Arr) && std::isfinite(r.BroadbandClarity.D50_Prozent) &&
         std::isfinite(r.BroadbandRT.NoiseFloor_dB) && std::isfinite(r.BroadbandRT.R2_EDT) &&
         std::isfinite(r.BroadbandRT.R2_T20) && std::isfinite(r.BroadbandRT.R2_T30);
}

std::string RowCaption(int Index) {
  if (Index == 0) return " \xC3\x98 ";  // " Ø "
  char buf[16];
  std::snprintf(buf, sizeof buf, "%3d", Index);
  return buf;
}

std::string Fmt2(double v, char Sep) { return FormatFixed(v, 4, 2, Sep); }

float ValueAt(const std::vector<float>& v, std::size_t i) { return i < v.size() ? v[i] : 0.0f; }

std::string LevelWarningText() {
  return Translate("Delta = (Signal - Noise floor) to low. Or wrong audio interface input selected. RT60 "
                   "measurement ignored!, Delta(dB)= ",
                   142);
}

std::string FileWarning(const std::filesystem::path& FileName) {
  return Translate("File version wrong / no RT60 data", 601) + " " + FileName.string();
}

}  // namespace

TRT60Model::TRT60Model(TRTPipeline& RT) : FRT(RT) {
  const int bands = FRT.RT60_SetOctaveCenterFrequencies(0);
  tMessdatensatz avg;
  avg.T20_valid = avg.T30_valid = avg.EDT_valid = true;
  ResizeBands(avg, static_cast<std::size_t>(bands));
  avg.FrArr = FRT.BandCenters();
  fmessdaten.push_back(std::move(avg));
}

// --- Parameters ------------------------------------------------------------------------------------------

void TRT60Model::SetRange(int iRange) {
  ClearMeasurements();
  const int bands = FRT.RT60_SetOctaveCenterFrequencies(iRange);
  FRange = (iRange >= 0 && iRange <= 3) ? iRange : 0;
  ResizeBands(fmessdaten[0], static_cast<std::size_t>(bands));
  fmessdaten[0].FrArr = FRT.BandCenters();
}

void TRT60Model::SetSweepFrequenzStartStop(int iCBIndex, std::uint16_t& fstart, std::uint16_t& fstop) {
  switch (iCBIndex) {
    case 0:
    case 2: fstart = 80; fstop = 6000; break;
    case 1: fstart = 45; fstop = 12000; break;
    case 3: fstart = 30; fstop = 15000; break;
    default: break;
  }
}

int TRT60Model::SweepDauerSec() const { return TRoomRating::SweepDauerSec(FRoomType); }

// --- Measurement set -------------------------------------------------------------------------------------

void TRT60Model::ResizeBands(tMessdatensatz& Rec, std::size_t Bands) const {
  Rec.t20arr.resize(Bands);
  Rec.t30arr.resize(Bands);
  Rec.EDTarr.resize(Bands);
  Rec.C50Arr.resize(Bands);
  Rec.C80Arr.resize(Bands);
}

TRT60MessenResult TRT60Model::RT60Messen(std::span<const float> IR, float SampleRate) {
  TRT60MessenResult result;
  if (IR.size() < 10) {
    result.Message = IR.empty() ? "The impulse response is empty."
                                : "The impulse response is too short (" + std::to_string(IR.size()) +
                                      " samples, at least 10 are needed).";
    return result;
  }
  if (!std::all_of(IR.begin(), IR.end(), [](float x) { return std::isfinite(x); })) {
    result.Message = "The impulse response holds values that are not numbers.";
    return result;
  }
  if (std::all_of(IR.begin(), IR.end(), [](float x) { return x == 0.0f; })) {
    result.Message = "The impulse response is silent.";
    return result;
  }

  tMessdatensatz rec;
  rec.SweepIRBand.assign(IR.begin(), IR.end());
  const TRoomAnalysis a = FRT.AnalyzeImpulseResponse(rec.SweepIRBand, SampleRate);
  if (!a.Usable) {
    result.Message = "The impulse response holds nothing to analyse.";
    return result;
  }
  rec.C50_dB = a.Clarity.C50_dB;
  rec.C80_dB = a.Clarity.C80_dB;
  rec.ts_ms = a.Clarity.Ts_ms;
  rec.C50Arr = a.C50;
  rec.C80Arr = a.C80;
  rec.T20_sec = a.Broadband.T20;
  rec.T20_valid = a.Broadband.ValidT20;
  rec.T30_sec = a.Broadband.T30;
  rec.T30_valid = a.Broadband.ValidT30;
  rec.EDT_sec = a.Broadband.EDT;
  rec.EDT_valid = a.Broadband.ValidEDT;
  rec.BroadbandRT = a.Broadband;
  rec.BroadbandClarity = a.Clarity;
  const std::size_t bands = a.Bands.size();
  ResizeBands(rec, bands);
  for (std::size_t i = 0; i < bands; ++i) {
    rec.t20arr[i] = a.Bands[i].T20;
    rec.t30arr[i] = a.Bands[i].T30;
    rec.EDTarr[i] = a.Bands[i].EDT;
  }
  if (!RecordFinite(rec)) {
    result.Message = "The analysis of the impulse response gave values that are not numbers.";
    return result;
  }
  rec.boDataSelected = true;
  rec.stTExt = RoomName + " MicIn:" + std::to_string(Messkanal + 1);

  result.Added = true;
  result.Average = Messdaten_AddDatensatz(std::move(rec));
  return result;
}

TAverageStatus TRT60Model::Messdaten_AddDatensatz(tMessdatensatz Data) {
  tMessdatensatz rec;
  rec.boDataSelected = Data.boDataSelected;
  rec.stTExt = Data.stTExt;
  rec.T20_sec = Data.T20_sec;
  rec.T20_valid = Data.T20_valid;
  rec.T30_sec = Data.T30_sec;
  rec.T30_valid = Data.T30_valid;
  rec.EDT_sec = Data.EDT_sec;
  rec.EDT_valid = Data.EDT_valid;
  rec.C50_dB = Data.C50_dB;
  rec.C80_dB = Data.C80_dB;
  rec.ts_ms = Data.ts_ms;
  rec.BroadbandRT = Data.BroadbandRT;
  rec.BroadbandClarity = Data.BroadbandClarity;
  rec.t20arr = std::move(Data.t20arr);
  rec.t30arr = std::move(Data.t30arr);
  rec.EDTarr = std::move(Data.EDTarr);
  rec.C50Arr = std::move(Data.C50Arr);
  rec.C80Arr = std::move(Data.C80Arr);
  rec.SweepIRBand = std::move(Data.SweepIRBand);
  // Every element takes the new record's band count; the frequencies come from the band table in force,
  // so a record made with another band set shows up as an array-length fault of the average.
  const std::size_t bands = rec.t20arr.size();
  fmessdaten.push_back(std::move(rec));

  for (tMessdatensatz& e : fmessdaten) {
    ResizeBands(e, bands);
    e.FrArr = FRT.BandCenters();
  }
  return UpdateAverage();
}

TAverageStatus TRT60Model::UpdateAverage() {
  if (MeasurementCount() < 1) return TAverageStatus::Ok;
  tMessdatensatz& avg = fmessdaten[0];

  std::vector<const tMessdatensatz*> sel;
  for (std::size_t i = 1; i < fmessdaten.size(); ++i)
    if (fmessdaten[i].boDataSelected) sel.push_back(&fmessdaten[i]);

  // 1. Scalars.
  if (!sel.empty()) {
    auto collect = [&](auto Get) {
      std::vector<float> v;
      v.reserve(sel.size());
      for (const tMessdatensatz* r : sel) v.push_back(static_cast<float>(Get(*r)));
      return v;
    };
    const auto t20 = collect([](const tMessdatensatz& r) { return r.T20_sec; });
    const auto t30 = collect([](const tMessdatensatz& r) { return r.T30_sec; });
    const auto edt = collect([](const tMessdatensatz& r) { return r.EDT_sec; });
    const auto c50 = collect([](const tMessdatensatz& r) { return r.C50_dB; });
    const auto c80 = collect([](const tMessdatensatz& r) { return r.C80_dB; });
    const auto ts = collect([](const tMessdatensatz& r) { return r.ts_ms; });
    const double mT20 = TRTPipeline::Mean_RT60_D50(t20), mT30 = TRTPipeline::Mean_RT60_D50(t30);
    const double mEDT = TRTPipeline::Mean_RT60_D50(edt), mTs = TRTPipeline::Mean_RT60_D50(ts);
    const double mC50 = TRTPipeline::MeanClarity_C50_C80(c50), mC80 = TRTPipeline::MeanClarity_C50_C80(c80);
    const float sT20 = TRTPipeline::StdDev(t20), sT30 = TRTPipeline::StdDev(t30);
    const float sC50 = TRTPipeline::StdDev(c50), sC80 = TRTPipeline::StdDev(c80);
    if (!(Finite(mT20) && Finite(mT30) && Finite(mEDT) && Finite(mTs) && Finite(mC50) && Finite(mC80) &&
          Finite(sT20) && Finite(sT30) && Finite(sC50) && Finite(sC80)))
      return TAverageStatus::MeasurementUnsufficient;
    avg.T20_sec = mT20;
    avg.T30_sec = mT30;
    avg.EDT_sec = mEDT;
    avg.ts_ms = mTs;
    avg.C50_dB = mC50;
    avg.C80_dB = mC80;
    avg.T20_Stddev = sT20;
    avg.T30_Stddev = sT30;
    avg.C50_Stddev = sC50;
    avg.C80_Stddev = sC80;
  }

  // 2. Frequencies of the first measurement; the band arrays must match them.
  avg.FrArr = fmessdaten[1].FrArr;
  if (avg.FrArr.size() != avg.t20arr.size()) return TAverageStatus::ArrayLengthIssue;

  // 3. Per band.
  if (sel.empty()) return TAverageStatus::MeasurementUnsufficient;
  const std::size_t bands = avg.t20arr.size();
  std::vector<float> t20(bands), t30(bands), edt(bands), c50(bands), c80(bands);
  std::vector<float> v(sel.size());
  auto bandMean = [&](std::size_t b, const std::vector<float> tMessdatensatz::*Arr, bool Energetic) {
    for (std::size_t k = 0; k < sel.size(); ++k) v[k] = ValueAt(sel[k]->*Arr, b);
    return Energetic ? TRTPipeline::MeanClarity_C50_C80(v) : TRTPipeline::Mean_RT60_D50(v);
  };
  for (std::size_t b = 0; b < bands; ++b) {
    t20[b] = bandMean(b, &tMessdatensatz::t20arr, false);
    t30[b] = bandMean(b, &tMessdatensatz::t30arr, false);
    edt[b] = bandMean(b, &tMessdatensatz::EDTarr, false);
    c50[b] = bandMean(b, &tMessdatensatz::C50Arr, true);
    c80[b] = bandMean(b, &tMessdatensatz::C80Arr, true);
  }
  if (!(AllFinite(t20) && AllFinite(t30) && AllFinite(edt) && AllFinite(c50) && AllFinite(c80)))
    return TAverageStatus::MeasurementUnsufficient;
  avg.t20arr = std::move(t20);
  avg.t30arr = std::move(t30);
  avg.EDTarr = std::move(edt);
  avg.C50Arr = std::move(c50);
  avg.C80Arr = std::move(c80);
  return TAverageStatus::Ok;
}

std::string TRT60Model::AverageStatusText(TAverageStatus Status) {
  switch (Status) {
    case TAverageStatus::ArrayLengthIssue: return "Internal error: Chart average - Array length issue!";
    case TAverageStatus::MeasurementUnsufficient: return "Internal error: Measurement unsufficient";
    default: return "";
  }
}

void TRT60Model::ZeroAverage() {
  tMessdatensatz& avg = fmessdaten[0];
  avg.T20_sec = avg.T30_sec = avg.EDT_sec = avg.C50_dB = avg.C80_dB = avg.ts_ms = 0;
  avg.T20_Stddev = avg.T30_Stddev = avg.C50_Stddev = avg.C80_Stddev = 0;
  for (auto* arr : {&avg.t20arr, &avg.t30arr, &avg.EDTarr, &avg.C50Arr, &avg.C80Arr})
    std::fill(arr->begin(), arr->end(), 0.0f);
}

TAverageStatus TRT60Model::DeleteMeasurement(int Index) {
  if (Index < 1 || Index > MeasurementCount()) return TAverageStatus::Ok;
  fmessdaten.erase(fmessdaten.begin() + Index);
  if (MeasurementCount() == 0) {
    ZeroAverage();
    return TAverageStatus::Ok;
  }
  return UpdateAverage();
}

void TRT60Model::ClearMeasurements() {
  fmessdaten.resize(1);
  ZeroAverage();
  fmessdaten[0].stTExt.clear();
}

void TRT60Model::SetSelected(int Index, bool Selected) {
  if (Index >= 0 && Index < AnzahlDatenzätze()) fmessdaten[static_cast<std::size_t>(Index)].boDataSelected = Selected;
}

void TRT60Model::SelectAll(bool Selected) {
  for (tMessdatensatz& e : fmessdaten) e.boDataSelected = Selected;
}

bool TRT60Model::AnySelected() const {
  return std::any_of(fmessdaten.begin() + 1, fmessdaten.end(), [](const tMessdatensatz& e) { return e.boDataSelected; });
}

void TRT60Model::SetNote(int Index, std::string Note) {
  if (Index >= 0 && Index < AnzahlDatenzätze()) fmessdaten[static_cast<std::size_t>(Index)].stTExt = std::move(Note);
}

bool TRT60Model::FitsValid(int Index) const {
  if (Index < 0 || Index >= AnzahlDatenzätze()) return false;
  const tMessdatensatz& r = fmessdaten[static_cast<std::size_t>(Index)];
  return r.T20_valid && r.T30_valid && r.EDT_valid;
}

// --- Ratings and views -----------------------------------------------------------------------------------

TRoomRatingResult TRT60Model::Rating() const { return TRoomRatingResult::Rate(Average(), BasisT30, FRoomType); }

std::string_view TRT60Model::ChartName(TChartMeasure Measure) {
  switch (Measure) {
    case TChartMeasure::EDT: return "EDT(s)";
    case TChartMeasure::C50: return "C50(dB)";
    case TChartMeasure::C80: return "C80(dB)";
    default: return "RT60(s)";
  }
}

const std::vector<float>& TRT60Model::BandValues(const tMessdatensatz& Rec, TChartMeasure Measure) const {
  switch (Measure) {
    case TChartMeasure::EDT: return Rec.EDTarr;
    case TChartMeasure::C50: return Rec.C50Arr;
    case TChartMeasure::C80: return Rec.C80Arr;
    default: return BasisT30 ? Rec.t30arr : Rec.t20arr;
  }
}

std::vector<float> TRT60Model::AverageBandValues(TChartMeasure Measure) const {
  return BandValues(Average(), Measure);
}

TListTable TRT60Model::MeasurementTable(char DecimalSeparator) const {
  TListTable t;
  t.Columns = {"#", "RT60(s)", "EDT(s)", "C50(dB)", "C80(dB)", "ts(ms)", "Note"};
  for (int i = 0; i < AnzahlDatenzätze(); ++i) {
    const tMessdatensatz& r = fmessdaten[static_cast<std::size_t>(i)];
    t.Rows.push_back({RowCaption(i),
                      {Fmt2(Rt60Of(r), DecimalSeparator), Fmt2(r.EDT_sec, DecimalSeparator),
                       Fmt2(r.C50_dB, DecimalSeparator), Fmt2(r.C80_dB, DecimalSeparator),
                       Fmt2(r.ts_ms, DecimalSeparator), r.stTExt},
                      r.boDataSelected});
  }
  return t;
}

TListTable TRT60Model::AverageBandTable(char DecimalSeparator) const {
  TListTable t;
  t.CheckBoxes = false;
  t.Columns = {"f(Hz) ", "RT60(s)", "EDT(s)", "C50(dB)", "C80(dB)"};
  const tMessdatensatz& a = Average();
  const std::vector<float>& rt = BasisT30 ? a.t30arr : a.t20arr;
  for (std::size_t b = 0; b < a.FrArr.size(); ++b)
    t.Rows.push_back({FormatFixed(a.FrArr[b], 15, 0, DecimalSeparator),
                      {Fmt2(ValueAt(rt, b), DecimalSeparator), Fmt2(ValueAt(a.EDTarr, b), DecimalSeparator),
                       Fmt2(ValueAt(a.C50Arr, b), DecimalSeparator), Fmt2(ValueAt(a.C80Arr, b), DecimalSeparator)},
                      false});
  return t;
}

TListTable TRT60Model::MeasurementBandTable(TChartMeasure Measure, char DecimalSeparator) const {
  TListTable t;
  t.CheckBoxes = false;
  t.Columns = {std::string(ChartName(Measure)), "\xC3\x98"};
  std::vector<int> sel;
  for (int i = 1; i < AnzahlDatenzätze(); ++i)
    if (fmessdaten[static_cast<std::size_t>(i)].boDataSelected) {
      sel.push_back(i);
      t.Columns.push_back(std::to_string(i));
    }
  const tMessdatensatz& a = Average();
  for (std::size_t b = 0; b < a.FrArr.size(); ++b) {
    TListRow row{FormatFixed(a.FrArr[b], 15, 0, DecimalSeparator), {Fmt2(ValueAt(BandValues(a, Measure), b), DecimalSeparator)}, false};
    for (int i : sel)
      row.SubItems.push_back(Fmt2(ValueAt(BandValues(fmessdaten[static_cast<std::size_t>(i)], Measure), b), DecimalSeparator));
    t.Rows.push_back(std::move(row));
  }
  TListRow notes{"Note", {a.stTExt}, false};
  for (int i : sel) notes.SubItems.push_back(fmessdaten[static_cast<std::size_t>(i)].stTExt);
  t.Rows.push_back(std::move(notes));
  return t;
}

// --- Level range -----------------------------------------------------------------------------------------

void TRT60Model::RT60LevelReset() {
  FLevelMax = 0;
  FLevelMin = 999;
  FLevelsSeen = false;
}

int TRT60Model::RT60LevelMeter(float Peak) {
  double p = Peak;
  if (!(p > 1e-10)) p = 1e-10;  // also a NaN
  if (p > 1e10) p = 1e10;
  const int level = static_cast<int>(std::nearbyint(20.0 * std::log10(p) + 100.0));
  // The extremes are those of the levels actually seen: a silent input (all levels -100) then shows a
  // range of 0 dB rather than the distance to the start value 0.
  if (!FLevelsSeen) {
    FLevelMax = FLevelMin = level;
    FLevelsSeen = true;
  } else {
    FLevelMax = std::max(FLevelMax, level);
    FLevelMin = std::min(FLevelMin, level);
  }
  return level;
}

std::optional<std::string> TRT60Model::RT60LevelCheck() const {
  const int delta = FLevelsSeen ? FLevelMax - FLevelMin : 0;
  const int required = RT60LevelRequired();
  if (std::abs(delta) >= required) return std::nullopt;
  return LevelWarningText() + " " + std::to_string(delta) + " <" + std::to_string(required) + ">";
}

// --- Compare list ----------------------------------------------------------------------------------------

TCompareFields TRT60Model::CompareProposal() const {
  TCompareFields f;
  f.ChartName = ChartName(ChartMeasure);
  for (int i = 1; i < AnzahlDatenzätze(); ++i) {
    const tMessdatensatz& r = fmessdaten[static_cast<std::size_t>(i)];
    if (!r.boDataSelected) continue;
    f.Source = std::to_string(i) + "," + f.Source;
    f.Note = r.stTExt + " " + f.Note;
  }
  return f;
}

void TRT60Model::AddCompareItem(const std::string& Note, const std::string& Chart, const std::string& Source) {
  const tMessdatensatz& a = Average();
  TCompareItem item;
  item.Note = Note;
  item.ChartName = Chart;
  item.Source = Source;
  item.RT60 = Rt60Of(a);
  item.EDT = a.EDT_sec;
  item.C50 = a.C50_dB;
  item.C80 = a.C80_dB;
  item.ts = a.ts_ms;
  item.Checked = true;
  const std::vector<float>& values = AverageBandValues(ChartMeasure);
  const std::size_t n = std::min(a.FrArr.size(), values.size());
  item.Freq.assign(a.FrArr.begin(), a.FrArr.begin() + static_cast<std::ptrdiff_t>(n));
  item.Values.assign(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n));
  FCompareItems.push_back(std::move(item));
}

void TRT60Model::DeleteCompareItem(int Row) {
  if (Row >= 0 && Row < static_cast<int>(FCompareItems.size())) FCompareItems.erase(FCompareItems.begin() + Row);
}

void TRT60Model::SetCompareNote(int Row, std::string Note) {
  if (Row >= 0 && Row < static_cast<int>(FCompareItems.size())) FCompareItems[static_cast<std::size_t>(Row)].Note = std::move(Note);
}

void TRT60Model::SetCompareChecked(int Row, bool Checked) {
  if (Row >= 0 && Row < static_cast<int>(FCompareItems.size())) FCompareItems[static_cast<std::size_t>(Row)].Checked = Checked;
}

std::string TRT60Model::CompareItemText(const TCompareItem& Item) {
  return Item.Note + ";" + Item.ChartName + ";" + Item.Source;
}

TCompareFields TRT60Model::SplitCompareItemText(std::string_view Text) {
  TCompareFields f;
  const auto last = Text.rfind(';');
  if (last == std::string_view::npos) {
    f.Note = Text;
    return f;
  }
  const auto before = last == 0 ? std::string_view::npos : Text.rfind(';', last - 1);
  if (before == std::string_view::npos) {
    f.Note = Text.substr(0, last);
    f.ChartName = Text.substr(last + 1);
    return f;
  }
  f.Note = Text.substr(0, before);
  f.ChartName = Text.substr(before + 1, last - before - 1);
  f.Source = Text.substr(last + 1);
  return f;
}

std::vector<TAverageStatus> TRT60Model::RestoreCompareItems(const std::vector<std::string>& Items) {
  std::vector<TAverageStatus> problems;
  for (const std::string& text : Items) {
    const TCompareFields f = SplitCompareItemText(text);
    if (f.Source.empty()) continue;
    SelectAll(false);
    std::string_view rest = f.Source;
    while (!rest.empty()) {
      const auto comma = rest.find(',');
      const std::string token(rest.substr(0, comma));
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
      char* end = nullptr;
      const long n = std::strtol(token.c_str(), &end, 10);
      if (end == token.c_str()) continue;
      if (n >= 1 && n <= MeasurementCount()) fmessdaten[static_cast<std::size_t>(n)].boDataSelected = true;
    }
    for (TChartMeasure m : {TChartMeasure::RT60, TChartMeasure::EDT, TChartMeasure::C50, TChartMeasure::C80}) {
      std::string_view name = ChartName(m);
      name = name.substr(0, name.find('('));
      if (f.ChartName.find(name) != std::string::npos) ChartMeasure = m;
    }
    const TAverageStatus s = UpdateAverage();
    if (s != TAverageStatus::Ok) problems.push_back(s);
    AddCompareItem(f.Note, f.ChartName, f.Source);
  }
  return problems;
}

// --- Project ---------------------------------------------------------------------------------------------

tReportData TRT60Model::ProjectData() const {
  tReportData d;
  for (int i = 1; i < AnzahlDatenzätze(); ++i) {
    const tMessdatensatz& r = fmessdaten[static_cast<std::size_t>(i)];
    if (r.SweepIRBand.empty()) continue;
    d.data.resize(static_cast<std::size_t>(i));
    d.stKommentar.resize(static_cast<std::size_t>(i));
    d.data[static_cast<std::size_t>(i - 1)] = r.SweepIRBand;
    d.stKommentar[static_cast<std::size_t>(i - 1)] = r.stTExt;
  }
  for (const TCompareItem& c : FCompareItems) d.stProjektData.push_back(CompareItemText(c));
  d.stMemoText = Report.stMemoText;
  d.stName = Report.stName;
  d.stRoomSize = Report.stRoomSize;
  d.stTempHumidity = Report.stTempHumidity;
  d.stReportTitle = Report.stReportTitle;
  d.dtReportDate = Report.dtReportDate;
  d.iRoomtype = FRoomType;
  d.iAnzahlEinträge = MeasurementCount();
  return d;
}

std::optional<std::string> TRT60Model::SaveProject(const std::filesystem::path& FileName) {
  if (MeasurementCount() < 1) return Translate("Abort: No measurement data found!", 602);
  WriteRoomProject(FileName, ProjectData());
  MeasurementsUnsaved = false;
  return std::nullopt;
}

TRT60Model::TOpenResult TRT60Model::OpenRT60File(const std::filesystem::path& FileName, float SampleRate) {
  TOpenResult res;
  tReportData d;
  try {
    ReadRoomProject(FileName, d);
  } catch (const TRoomProjectError& e) {
    res.Message = FileWarning(FileName);
    res.Detail = e.what();
    return res;
  }
  const std::size_t stored = static_cast<std::size_t>(std::max(d.iAnzahlEinträge, 0));
  const bool anyResponse = std::any_of(d.data.begin(), d.data.begin() + static_cast<std::ptrdiff_t>(std::min(stored, d.data.size())),
                                       [](const std::vector<float>& ir) { return !ir.empty(); });
  if (!anyResponse) {
    res.Message = Translate("No RT60 data found!", 600);
    return res;
  }

  ClearMeasurements();
  ClearCompareItems();
  for (std::size_t i = 0; i < stored && i < d.data.size(); ++i) {
    if (d.data[i].empty()) continue;
    const TRT60MessenResult r = RT60Messen(d.data[i], SampleRate);
    if (!r.Added) {
      res.Message = FileWarning(FileName);
      res.Detail = "measurement " + std::to_string(i + 1) + ": " + r.Message;
      return res;
    }
    // The note belongs to the measurement just added, whatever number it got.
    if (i < d.stKommentar.size()) fmessdaten.back().stTExt = d.stKommentar[i];
  }
  if (const TAverageStatus s = UpdateAverage(); s != TAverageStatus::Ok) res.Averaging.push_back(s);
  const auto restored = RestoreCompareItems(d.stProjektData);
  res.Averaging.insert(res.Averaging.end(), restored.begin(), restored.end());
  Report.stMemoText = d.stMemoText;
  Report.stName = d.stName;
  Report.stRoomSize = d.stRoomSize;
  Report.stTempHumidity = d.stTempHumidity;
  Report.stReportTitle = d.stReportTitle;
  Report.dtReportDate = d.dtReportDate;
  if (d.iRoomtype >= 0 && d.iRoomtype < RoomTypeCount) FRoomType = d.iRoomtype;
  res.Ok = true;
  return res;
}
