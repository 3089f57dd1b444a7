#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

#include "room/TRT60Model.h"
#include "room/TRoomAnalysis.h"
#include "room/uRT60Complete.h"

namespace {

constexpr float kFs = 48000.0f;

// A record as an analysis would deliver it, with the same value in every band.
tMessdatensatz Record(double T20, double T30, double EDT, double C50, double C80, double ts, std::size_t Bands,
                      std::string Note = "") {
  tMessdatensatz r;
  r.boDataSelected = true;
  r.T20_sec = T20;
  r.T30_sec = T30;
  r.EDT_sec = EDT;
  r.T20_valid = r.T30_valid = r.EDT_valid = true;
  r.C50_dB = C50;
  r.C80_dB = C80;
  r.ts_ms = ts;
  r.t20arr.assign(Bands, static_cast<float>(T20));
  r.t30arr.assign(Bands, static_cast<float>(T30));
  r.EDTarr.assign(Bands, static_cast<float>(EDT));
  r.C50Arr.assign(Bands, static_cast<float>(C50));
  r.C80Arr.assign(Bands, static_cast<float>(C80));
  r.stTExt = std::move(Note);
  r.SweepIRBand = {1.0f, 0.5f};
  return r;
}

// White noise with an exponential envelope: its energy falls by 60 dB in T seconds.
std::vector<float> DecayingNoise(double T, double Seconds, unsigned Seed) {
  std::mt19937 gen(Seed);
  std::normal_distribution<float> n(0.0f, 1.0f);
  std::vector<float> ir(static_cast<std::size_t>(Seconds * kFs));
  for (std::size_t i = 0; i < ir.size(); ++i)
    ir[i] = n(gen) * static_cast<float>(std::exp(-6.907755 * static_cast<double>(i) / kFs / T));
  ir[0] = 4.0f;  // the direct sound is the peak
  return ir;
}

// A peak whose meter level is exactly L.
float PeakForLevel(int L) { return static_cast<float>(std::pow(10.0, (L - 100) / 20.0)); }

class RT60Model : public ::testing::Test {
protected:
  TRTPipeline RT{kFs};
  TRT60Model Model{RT};
  std::size_t Bands() const { return RT.BandCenters().size(); }
};

}  // namespace

TEST_F(RT60Model, AveragesArithmeticAndEnergeticWithPopulationDeviation) {
  ASSERT_EQ(Model.Messdaten_AddDatensatz(Record(1, 2, 0.5, 0, 0, 50, Bands())), TAverageStatus::Ok);
  ASSERT_EQ(Model.Messdaten_AddDatensatz(Record(3, 4, 1.5, 10, 10, 150, Bands())), TAverageStatus::Ok);
  const tMessdatensatz& a = Model.Average();
  EXPECT_DOUBLE_EQ(a.T20_sec, 2.0);
  EXPECT_DOUBLE_EQ(a.T30_sec, 3.0);
  EXPECT_DOUBLE_EQ(a.EDT_sec, 1.0);
  EXPECT_DOUBLE_EQ(a.ts_ms, 100.0);
  EXPECT_NEAR(a.C50_dB, 10 * std::log10(5.5), 1e-5);  // energetic, not 5 dB
  EXPECT_NEAR(a.C80_dB, 7.4036, 1e-4);
  EXPECT_FLOAT_EQ(a.T20_Stddev, 1.0f);  // population form: sqrt(((1-2)^2 + (3-2)^2) / 2)
  EXPECT_FLOAT_EQ(a.T30_Stddev, 1.0f);
  EXPECT_FLOAT_EQ(a.C50_Stddev, 5.0f);
  EXPECT_EQ(a.FrArr, RT.BandCenters());
  for (std::size_t b = 0; b < Bands(); ++b) {
    EXPECT_FLOAT_EQ(a.t20arr[b], 2.0f);
    EXPECT_FLOAT_EQ(a.EDTarr[b], 1.0f);
    EXPECT_NEAR(a.C80Arr[b], 7.4036f, 1e-4f);
  }
  // A measurement whose T30 fit failed keeps time 0, shows as faulty, and still enters the T30 average.
  tMessdatensatz noT30 = Record(2, 0, 1, 0, 0, 100, Bands());
  noT30.T30_valid = false;
  Model.Messdaten_AddDatensatz(noT30);
  EXPECT_FALSE(Model.FitsValid(3));
  EXPECT_TRUE(Model.FitsValid(1));
  EXPECT_DOUBLE_EQ(Model.Average().T30_sec, 2.0);  // (2 + 4 + 0) / 3
}

TEST_F(RT60Model, InternalErrorsAreReportedAndChangeNothing) {
  Model.Messdaten_AddDatensatz(Record(1, 1, 1, 2, 3, 40, Bands()));
  Model.Messdaten_AddDatensatz(Record(2, 2, 2, 2, 3, 60, Bands()));
  const tMessdatensatz before = Model.Average();

  // Nothing selected: the scalar and band averages stay, the caller is told.
  Model.SelectAll(false);
  EXPECT_EQ(Model.UpdateAverage(), TAverageStatus::MeasurementUnsufficient);
  EXPECT_EQ(TRT60Model::AverageStatusText(TAverageStatus::MeasurementUnsufficient),
            "Internal error: Measurement unsufficient");
  EXPECT_DOUBLE_EQ(Model.Average().T20_sec, before.T20_sec);
  EXPECT_EQ(Model.Average().t20arr, before.t20arr);

  // A record of another band count than the band table in force puts the average out of step.
  Model.SelectAll(true);
  EXPECT_EQ(Model.Messdaten_AddDatensatz(Record(3, 3, 3, 2, 3, 80, Bands() - 1)), TAverageStatus::ArrayLengthIssue);
  EXPECT_EQ(TRT60Model::AverageStatusText(TAverageStatus::ArrayLengthIssue),
            "Internal error: Chart average - Array length issue!");
  EXPECT_EQ(Model.MeasurementCount(), 3);

  // A mean that overflows is refused rather than stored.
  TRT60Model other(RT);
  other.Messdaten_AddDatensatz(Record(1, 1, 1, 1e30, 3, 40, Bands()));
  EXPECT_EQ(other.UpdateAverage(), TAverageStatus::MeasurementUnsufficient);
  EXPECT_TRUE(std::isfinite(other.Average().C50_dB));
}

TEST_F(RT60Model, DeletingRenumbersAndEmptyingZeroesTheAverage) {
  for (const char* n : {"one", "two", "three"}) Model.Messdaten_AddDatensatz(Record(1, 1, 1, 0, 0, 50, Bands(), n));
  Model.AddCompareItem("c", "RT60(s)", Model.CompareProposal().Source);
  EXPECT_EQ(Model.CompareItems()[0].Source, "3,2,1,");
  EXPECT_EQ(Model.CompareProposal().Note, "three two one ");

  EXPECT_EQ(Model.DeleteMeasurement(2), TAverageStatus::Ok);
  ASSERT_EQ(Model.MeasurementCount(), 2);
  EXPECT_EQ(Model.Messdaten()[2].stTExt, "three");
  const TListTable t = Model.MeasurementTable();
  EXPECT_EQ(t.Rows[2].Caption, "  2");
  EXPECT_EQ(t.Rows[2].SubItems.back(), "three");
  EXPECT_EQ(Model.CompareItems()[0].Source, "3,2,1,");  // the item still names the old numbers

  EXPECT_EQ(Model.DeleteMeasurement(5), TAverageStatus::Ok);  // no such measurement: nothing happens
  EXPECT_EQ(Model.MeasurementCount(), 2);
  Model.DeleteMeasurement(1);
  Model.DeleteMeasurement(1);
  EXPECT_EQ(Model.MeasurementCount(), 0);
  EXPECT_EQ(Model.Average().T20_sec, 0.0);
  EXPECT_EQ(Model.Average().t20arr, std::vector<float>(Bands(), 0.0f));
}

TEST_F(RT60Model, LevelRangeThresholds) {
  struct Case {
    bool T30;
    int Low, High;
    bool Accepted;
  };
  const Case cases[] = {{false, 50, 79, false}, {false, 50, 80, true}, {true, 40, 79, false}, {true, 40, 80, true}};
  for (const Case& c : cases) {
    Model.BasisT30 = c.T30;
    Model.RT60LevelReset();
    for (int L : {c.Low, c.High, (c.Low + c.High) / 2}) EXPECT_EQ(Model.RT60LevelMeter(PeakForLevel(L)), L);
    const auto warning = Model.RT60LevelCheck();
    EXPECT_EQ(!warning.has_value(), c.Accepted) << c.Low << " " << c.High;
    if (warning) {
      const int delta = c.High - c.Low;
      EXPECT_EQ(*warning,
                "Delta = (Signal - Noise floor) to low. Or wrong audio interface input selected. RT60 "
                "measurement ignored!, Delta(dB)=  " +
                    std::to_string(delta) + " <" + (c.T30 ? "40" : "30") + ">");
    }
  }
  // A silent input (every peak 0, level -100) has no level range at all.
  Model.BasisT30 = false;
  Model.RT60LevelReset();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Model.RT60LevelMeter(0.0f), -100);
  EXPECT_TRUE(Model.RT60LevelCheck().has_value());
  // Nothing seen at all: refused as well.
  Model.RT60LevelReset();
  EXPECT_TRUE(Model.RT60LevelCheck().has_value());
}

TEST_F(RT60Model, CompareItemTextsSplitAtTheLastTwoSemicolons) {
  struct Case {
    const char* Text;
    const char* Note;
    const char* Chart;
    const char* Source;
  };
  const Case cases[] = {
      {"hall; left side;EDT(s);2,1,", "hall; left side", "EDT(s)", "2,1,"},
      {";RT60(s);1,", "", "RT60(s)", "1,"},
      {"a;b", "a", "b", ""},
      {"plain", "plain", "", ""},
      {"x;y;;", "x;y", "", ""},
  };
  for (const Case& c : cases) {
    const TCompareFields f = TRT60Model::SplitCompareItemText(c.Text);
    EXPECT_EQ(f.Note, c.Note) << c.Text;
    EXPECT_EQ(f.ChartName, c.Chart) << c.Text;
    EXPECT_EQ(f.Source, c.Source) << c.Text;
  }
}

TEST_F(RT60Model, RestoreCompareItemsSelectsTheirSourceAndChart) {
  Model.Messdaten_AddDatensatz(Record(1, 1, 0.5, 0, 0, 50, Bands()));
  Model.Messdaten_AddDatensatz(Record(2, 2, 1.0, 0, 0, 50, Bands()));
  Model.Messdaten_AddDatensatz(Record(4, 4, 2.0, 0, 0, 50, Bands()));
  const auto problems = Model.RestoreCompareItems(
      {"first; second;EDT(s);3,1,", "no source;RT60(s);", "gone;RT60(s);7,", "all;RT60(s);3,2,1,"});
  ASSERT_EQ(Model.CompareItems().size(), 3u);  // the one without a source is skipped
  const TCompareItem& first = Model.CompareItems()[0];
  EXPECT_EQ(first.Note, "first; second");
  EXPECT_EQ(first.ChartName, "EDT(s)");
  EXPECT_DOUBLE_EQ(first.RT60, 2.5);  // measurements 1 and 3
  EXPECT_DOUBLE_EQ(first.EDT, 1.25);
  EXPECT_EQ(first.Values, std::vector<float>(Bands(), 1.25f));  // the EDT chart
  // An item naming only measurements that do not exist averages nothing: reported, item kept.
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], TAverageStatus::MeasurementUnsufficient);
  EXPECT_EQ(Model.CompareItems()[1].Note, "gone");
  EXPECT_NEAR(Model.CompareItems()[2].RT60, 7.0 / 3.0, 1e-6);
  EXPECT_EQ(Model.ChartMeasure, TChartMeasure::RT60);
  // Texts for the project file, and back.
  EXPECT_EQ(TRT60Model::CompareItemText(first), "first; second;EDT(s);3,1,");
}

TEST_F(RT60Model, UnusableResponsesAreNotAdded) {
  const std::vector<float> empty;
  const std::vector<float> shortIr(9, 0.5f);
  const std::vector<float> silent(4800, 0.0f);
  std::vector<float> nan = DecayingNoise(0.5, 0.5, 1);
  nan[100] = NAN;
  for (const std::vector<float>* ir : std::vector<const std::vector<float>*>{&empty, &shortIr, &silent, &nan}) {
    const TRT60MessenResult r = Model.RT60Messen(*ir, kFs);
    EXPECT_FALSE(r.Added);
    EXPECT_FALSE(r.Message.empty());
  }
  EXPECT_EQ(Model.MeasurementCount(), 0);
}

TEST_F(RT60Model, AnalysedMeasurementCarriesBandsAndNote) {
  Model.SetRange(2);
  Model.RoomName = "Hall";
  Model.Messkanal = 2;
  const std::vector<float> ir = DecayingNoise(0.8, 2.0, 7);
  const TRT60MessenResult r = Model.RT60Messen(ir, kFs);
  ASSERT_TRUE(r.Added) << r.Message;
  const tMessdatensatz& m = Model.Messdaten()[1];
  EXPECT_EQ(m.stTExt, "Hall MicIn:3");
  EXPECT_TRUE(m.boDataSelected);
  EXPECT_NEAR(m.T20_sec, 0.8, 0.8 * 0.03);
  EXPECT_EQ(m.SweepIRBand, ir);
  // Every value lands in its own field and band.
  const TRoomAnalysis a = RT.AnalyzeImpulseResponse(ir, kFs);
  EXPECT_EQ(m.FrArr, RT.BandCenters());
  ASSERT_EQ(m.t20arr.size(), 18u);
  for (std::size_t b = 0; b < 18; ++b) {
    EXPECT_EQ(m.t20arr[b], a.Bands[b].T20);
    EXPECT_EQ(m.t30arr[b], a.Bands[b].T30);
    EXPECT_EQ(m.EDTarr[b], a.Bands[b].EDT);
    EXPECT_EQ(m.C50Arr[b], a.C50[b]);
    EXPECT_EQ(m.C80Arr[b], a.C80[b]);
  }
  EXPECT_EQ(m.T30_sec, a.Broadband.T30);
  EXPECT_EQ(m.EDT_sec, a.Broadband.EDT);
  EXPECT_EQ(m.T20_valid, a.Broadband.ValidT20);
  EXPECT_EQ(m.C50_dB, a.Clarity.C50_dB);
  EXPECT_EQ(m.C80_dB, a.Clarity.C80_dB);
  EXPECT_EQ(m.ts_ms, a.Clarity.Ts_ms);
  EXPECT_DOUBLE_EQ(Model.Average().T20_sec, static_cast<float>(m.T20_sec));
}

TEST_F(RT60Model, ProjectRoundTripKeepsNotesResultsAndCompareItems) {
  const auto path = std::filesystem::temp_directory_path() / ("vemra_model_" + std::to_string(::getpid()) + ".vmR6");
  Model.SetRange(1);
  Model.SetRoomType(Room_Konzertsaal);
  const char* notes[] = {"a", "x;y", ""};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(Model.RT60Messen(DecayingNoise(0.6 + 0.3 * i, 2.5, 11 + i), kFs).Added);
    Model.SetNote(i + 1, notes[i]);
  }
  Model.SetSelected(2, false);
  Model.UpdateAverage();
  Model.ChartMeasure = TChartMeasure::C80;
  const TCompareFields proposal = Model.CompareProposal();
  EXPECT_EQ(proposal.Source, "3,1,");
  Model.AddCompareItem("left; right", proposal.ChartName, proposal.Source);
  Model.Report.stReportTitle = "Hall";
  Model.Report.dtReportDate = 45000;
  ASSERT_FALSE(Model.SaveProject(path).has_value());

  TRTPipeline rt2{kFs};
  TRT60Model reopened(rt2);
  reopened.SetRange(1);
  const auto res = reopened.OpenRT60File(path, kFs);
  ASSERT_TRUE(res.Ok) << res.Message << " " << res.Detail;
  ASSERT_EQ(reopened.MeasurementCount(), 3);
  EXPECT_EQ(reopened.RoomType(), Room_Konzertsaal);
  EXPECT_EQ(reopened.Report.stReportTitle, "Hall");
  EXPECT_EQ(reopened.Report.dtReportDate, 45000);
  for (int i = 1; i <= 3; ++i) {
    const tMessdatensatz& a = Model.Messdaten()[static_cast<std::size_t>(i)];
    const tMessdatensatz& b = reopened.Messdaten()[static_cast<std::size_t>(i)];
    EXPECT_EQ(b.stTExt, notes[i - 1]);
    EXPECT_EQ(b.T20_sec, a.T20_sec);
    EXPECT_EQ(b.T30_sec, a.T30_sec);
    EXPECT_EQ(b.C80_dB, a.C80_dB);
    EXPECT_EQ(b.t20arr, a.t20arr);
    EXPECT_EQ(b.C50Arr, a.C50Arr);
  }
  ASSERT_EQ(reopened.CompareItems().size(), 1u);
  const TCompareItem& c = reopened.CompareItems()[0];
  EXPECT_EQ(c.Note, "left; right");
  EXPECT_EQ(c.ChartName, "C80(dB)");
  EXPECT_EQ(c.Source, "3,1,");
  EXPECT_EQ(c.RT60, Model.CompareItems()[0].RT60);
  EXPECT_EQ(c.Values, Model.CompareItems()[0].Values);
  // The restored item left its selection behind, as it was when the item was made.
  EXPECT_FALSE(reopened.Messdaten()[2].boDataSelected);
  EXPECT_EQ(reopened.Average().T20_sec, Model.Average().T20_sec);
  std::filesystem::remove(path);
}

TEST_F(RT60Model, OpeningABadProjectChangesNothing) {
  const auto dir = std::filesystem::temp_directory_path() / ("vemra_modelbad_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  Model.Messdaten_AddDatensatz(Record(1, 1, 1, 0, 0, 50, Bands(), "keep"));

  tReportData d;
  d.iAnzahlEinträge = 1;
  d.data = {DecayingNoise(0.5, 1.0, 3)};
  std::string bytes = EncodeRoomProject(d);
  bytes[0] = 2;  // another version
  {
    std::ofstream(dir / "v2.vmR6", std::ios::binary) << bytes;
    std::ofstream(dir / "short.vmR6", std::ios::binary) << EncodeRoomProject(d).substr(0, 100);
  }
  tReportData none;
  WriteRoomProject(dir / "empty.vmR6", none);

  for (const char* f : {"v2.vmR6", "short.vmR6", "missing.vmR6"}) {
    const auto res = Model.OpenRT60File(dir / f, kFs);
    EXPECT_FALSE(res.Ok);
    EXPECT_EQ(res.Message, "File version wrong / no RT60 data " + (dir / f).string());
  }
  const auto res = Model.OpenRT60File(dir / "empty.vmR6", kFs);
  EXPECT_FALSE(res.Ok);
  EXPECT_EQ(res.Message, "No RT60 data found!");
  ASSERT_EQ(Model.MeasurementCount(), 1);
  EXPECT_EQ(Model.Messdaten()[1].stTExt, "keep");

  // Saving without measurements writes nothing.
  TRT60Model fresh(RT);
  EXPECT_EQ(fresh.SaveProject(dir / "none.vmR6"), std::optional<std::string>("Abort: No measurement data found!"));
  EXPECT_FALSE(std::filesystem::exists(dir / "none.vmR6"));
  std::filesystem::remove_all(dir);
}

TEST_F(RT60Model, ParametersAndTables) {
  std::uint16_t f1 = 1, f2 = 2;
  TRT60Model::SetSweepFrequenzStartStop(4, f1, f2);
  EXPECT_EQ(f1, 1);
  const std::uint16_t expected[4][2] = {{80, 6000}, {45, 12000}, {80, 6000}, {30, 15000}};
  for (int r = 0; r < 4; ++r) {
    TRT60Model::SetSweepFrequenzStartStop(r, f1, f2);
    EXPECT_EQ(f1, expected[r][0]);
    EXPECT_EQ(f2, expected[r][1]);
  }
  Model.SetRoomType(Room_Kirche);
  EXPECT_EQ(Model.SweepDauerSec(), 30);

  Model.Messdaten_AddDatensatz(Record(0.456, 1.2345, 0.5, -1.005, 12.5, 86.66, Bands(), "n;\"q\""));
  Model.SetRange(3);  // clears
  EXPECT_EQ(Model.MeasurementCount(), 0);
  EXPECT_EQ(Model.Average().FrArr.size(), 24u);
  EXPECT_EQ(Model.Average().t20arr.size(), 24u);
  Model.Messdaten_AddDatensatz(Record(0.456, 1.2345, 0.5, -1.25, 12.5, 86.66, 24, "n;\"q\""));
  Model.SelectAll(true);
  const TListTable t = Model.MeasurementTable(',');
  ASSERT_EQ(t.Rows.size(), 2u);
  EXPECT_EQ(t.Rows[1].Caption, "  1");
  EXPECT_EQ(t.Rows[1].SubItems, (std::vector<std::string>{"0,46", "0,50", "-1,25", "12,50", "86,66", "n;\"q\""}));
  EXPECT_EQ(ListViewToCSVText(t, ";"),
            "\xEF\xBB\xBF#;RT60(s);EDT(s);C50(dB);C80(dB);ts(ms);Note\r\n"
            " \xC3\x98 ;0,46;0,50;-1,25;12,50;86,66;\r\n"
            "  1;0,46;0,50;-1,25;12,50;86,66;\"n;\"\"q\"\"\"\r\n");
  Model.BasisT30 = true;
  EXPECT_EQ(Model.MeasurementTable().Rows[1].SubItems[0], "1.23");
  const TListTable bandsT = Model.MeasurementBandTable(TChartMeasure::C80);
  EXPECT_EQ(bandsT.Columns, (std::vector<std::string>{"C80(dB)", "\xC3\x98", "1"}));
  EXPECT_EQ(bandsT.Rows[0].Caption, "50");
  EXPECT_EQ(bandsT.Rows.back().SubItems.back(), "n;\"q\"");
}
