#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/ListViewToCSV.h"
#include "io/RoomProjectFile.h"
#include "room/TRoomRating.h"
#include "room/tMessdatensatz.h"

class TRTPipeline;

// The measure shown in the measure chart and named by a compare item (the pressed chart button).
enum class TChartMeasure { RT60, EDT, C50, C80 };

// One entry of the compare list: an average as it was when the entry was made.
struct TCompareItem {
  std::string Note;
  std::string ChartName;  // "RT60(s)", "EDT(s)", "C50(dB)" or "C80(dB)"
  std::string Source;     // numbers of the measurements that formed the average, newest first: "3,2,1,"
  double RT60 = 0;        // T30 with the T30 basis, else T20
  double EDT = 0;
  double C50 = 0;
  double C80 = 0;
  double ts = 0;
  bool Checked = true;
  std::vector<float> Freq;    // the measure chart's points at that moment
  std::vector<float> Values;
};

// The three texts of a compare item as the project file keeps them.
struct TCompareFields {
  std::string Note, ChartName, Source;
};

// What the averaging reports. The two errors are the program's internal texts (not translated).
enum class TAverageStatus {
  Ok,
  ArrayLengthIssue,         // "Internal error: Chart average - Array length issue!"
  MeasurementUnsufficient,  // "Internal error: Measurement unsufficient"
};

// Outcome of analysing one impulse response.
struct TRT60MessenResult {
  bool Added = false;
  std::string Message;  // why the response was not added (empty when it was)
  TAverageStatus Average = TAverageStatus::Ok;
};

// Report fields of the project (the "PDF Report" tab).
struct TRoomReportFields {
  std::string stReportTitle;
  std::string stRoomSize;
  std::string stTempHumidity;
  std::string stMemoText;
  std::string stName;  // author
  double dtReportDate = 0;  // days since 30 December 1899
};

// The room measurement set and everything done with it: element 0 is the average of the selected
// measurements, elements 1 ... N are the measurements in order of acquisition. The room window shows this
// model and the command line drives it; neither holds logic of its own.
//
// The model analyses impulse responses with the pipeline it is given (its band set is the measuring range
// in force) and never touches audio, settings or message boxes: every message a user must see comes back
// as a return value.
class TRT60Model {
public:
  explicit TRT60Model(TRTPipeline& RT);

  // --- Parameters -------------------------------------------------------------------------------------

  int RoomType() const { return FRoomType; }
  // Any value is kept; ratings and the sweep duration treat a value outside 0 ... 6 as no room type.
  void SetRoomType(int Room) { FRoomType = Room; }
  int Range() const { return FRange; }
  // Changes the measuring range: the measurements are cleared (the caller asks the user first when there
  // are some) and the pipeline's band set follows.
  void SetRange(int iRange);
  bool BasisT30 = false;  // decay basis: T30 instead of T20 as "RT60"
  int Messkanal = 0;      // input of the measurement, 0-based
  std::string RoomName = "Room A";
  TChartMeasure ChartMeasure = TChartMeasure::RT60;
  TRoomReportFields Report;
  bool MeasurementsUnsaved = false;  // set when a measurement starts, cleared by saving

  // Sweep frequencies of a measuring range; any other index leaves both unchanged.
  static void SetSweepFrequenzStartStop(int iCBIndex, std::uint16_t& fstart, std::uint16_t& fstop);
  // Whole seconds of the sweep for the room type in force.
  int SweepDauerSec() const;

  // --- Measurement set --------------------------------------------------------------------------------

  const std::vector<tMessdatensatz>& Messdaten() const { return fmessdaten; }
  const tMessdatensatz& Average() const { return fmessdaten[0]; }
  // Elements including the average.
  int AnzahlDatenzätze() const { return static_cast<int>(fmessdaten.size()); }
  int MeasurementCount() const { return AnzahlDatenzätze() - 1; }

  // Analyses an impulse response (starting at its direct sound, truncated at its usable decay) with the
  // current band set at the given rate and adds it as a selected measurement with the note
  // RoomName + " MicIn:" + (Messkanal + 1). A response with nothing to analyse (fewer than 10 samples,
  // silent, not finite) or whose analysis gives a value that is not a number is not added; Message says why.
  TRT60MessenResult RT60Messen(std::span<const float> IR, float SampleRate);

  // Appends the record as a new measurement and recomputes the average. Every element's band
  // arrays take the record's band count and its frequencies the current band table.
  TAverageStatus Messdaten_AddDatensatz(tMessdatensatz Data);

  // Recomputes the average from the selected measurements (nothing to do without measurements).
  // Scalars: arithmetic mean of T20, T30, EDT and ts, energetic mean of C50 and C80, population standard
  // deviations of T20, T30, C50 and C80. With none selected the scalar values stay as they were, and so do
  // the band values, and MeasurementUnsufficient is returned. A mean that is not a finite number changes
  // nothing of its group and returns MeasurementUnsufficient as well.
  TAverageStatus UpdateAverage();
  static std::string AverageStatusText(TAverageStatus Status);

  // Removes measurement Index (1 ... N); later ones move up and are renumbered. Recomputes the average,
  // or zeroes it when none is left. An index out of range changes nothing.
  TAverageStatus DeleteMeasurement(int Index);
  // Back to the average alone, its values zeroed and its note cleared.
  void ClearMeasurements();

  void SetSelected(int Index, bool Selected);
  // Every element, the average included (the list's "Select all items" / "Deselect all items").
  void SelectAll(bool Selected);
  bool AnySelected() const;
  void SetNote(int Index, std::string Note);
  // True when every broadband fit of the measurement was accepted (a red row otherwise).
  bool FitsValid(int Index) const;

  // --- Ratings and views ------------------------------------------------------------------------------

  // Ratings of the current average for the room type and basis in force (meaningful with at least one
  // measurement).
  TRoomRatingResult Rating() const;

  static std::string_view ChartName(TChartMeasure Measure);
  // The per-band values of the average for a measure, as the measure chart draws them.
  std::vector<float> AverageBandValues(TChartMeasure Measure) const;

  // The measurement list ("Meas." view): "#", "RT60(s)", "EDT(s)", "C50(dB)", "C80(dB)", "ts(ms)", "Note";
  // row 0 " Ø " is the average, rows 1 ... N the measurements with their selection as check state. Values
  // with 2 decimals (at most 4 significant digits) and the given decimal separator.
  TListTable MeasurementTable(char DecimalSeparator = '.') const;
  // The average per band ("Type(f)" view, no check boxes).
  TListTable AverageBandTable(char DecimalSeparator = '.') const;
  // One measure per band for the average and each selected measurement, then a row of notes
  // ("Meas(f)" view, no check boxes).
  TListTable MeasurementBandTable(TChartMeasure Measure, char DecimalSeparator = '.') const;

  // --- Level range of a sweep -------------------------------------------------------------------------

  // Start of a measurement: extremes back to 0 and 999.
  void RT60LevelReset();
  // One block of the sweep: the level round(20 log10(max(peak, 1e-10)) + 100) enters the extremes and is
  // returned for the level meter.
  int RT60LevelMeter(float Peak);
  int RT60LevelMax() const { return FLevelMax; }
  int RT60LevelMin() const { return FLevelMin; }
  // Level range needed: 30 dB with the T20 basis, 40 dB with T30.
  int RT60LevelRequired() const { return BasisT30 ? 40 : 30; }
  // The warning that refuses the recording when the level range is too small, nothing when it suffices.
  // Without a single level seen the range counts as 0.
  std::optional<std::string> RT60LevelCheck() const;

  // --- Compare list -----------------------------------------------------------------------------------

  const std::vector<TCompareItem>& CompareItems() const { return FCompareItems; }
  // What the "Compare" button proposes: the chart name of the pressed chart button, the source (numbers
  // of the selected measurements, newest first, each followed by a comma) and the default note (their
  // notes, newest first, each followed by a blank).
  TCompareFields CompareProposal() const;
  // Adds a checked compare item from the current average and measure chart.
  void AddCompareItem(const std::string& Note, const std::string& Chart, const std::string& Source);
  void DeleteCompareItem(int Row);  // 0-based
  void ClearCompareItems() { FCompareItems.clear(); }
  void SetCompareNote(int Row, std::string Note);
  void SetCompareChecked(int Row, bool Checked);

  // The text a project keeps for a compare item: note + ";" + chart name + ";" + source.
  static std::string CompareItemText(const TCompareItem& Item);
  // Splits such a text at its last two ";": the note may contain ";", chart name and source never do.
  // With fewer than two ";" the missing fields are empty.
  static TCompareFields SplitCompareItemText(std::string_view Text);
  // Rebuilds compare items from their texts: for each with a source, the measurements it names are
  // selected (all others deselected), the chart measure its name contains is chosen, the average is
  // recomputed and the item added with its stored texts. Returns the averaging status of each restored
  // item that did not average cleanly.
  std::vector<TAverageStatus> RestoreCompareItems(const std::vector<std::string>& Items);

  // --- Project ----------------------------------------------------------------------------------------

  // The project as the file keeps it (notes and impulse responses of the measurements, compare items,
  // report fields, room type).
  tReportData ProjectData() const;
  // Saves the project. Without measurements: "Abort: No measurement data found!" (and no file). A file
  // that cannot be written: TRoomProjectError. Clears MeasurementsUnsaved on success.
  std::optional<std::string> SaveProject(const std::filesystem::path& FileName);

  struct TOpenResult {
    bool Ok = false;
    std::string Message;                   // the warning to show when not Ok
    std::string Detail;                    // what exactly failed (for logs and the command line)
    std::vector<TAverageStatus> Averaging;  // internal errors met while restoring compare items
  };
  // Opens a project: reads it, and only when that succeeds clears the measurements, analyses every stored
  // impulse response at SampleRate with the current band set and basis (notes restored), rebuilds the
  // compare items, takes the report fields and, when valid, the room type. A file that cannot be read,
  // holds no measurement or whose response cannot be analysed: Message "File version wrong / no RT60 data
  // <file>" or "No RT60 data found!"; a failure during the analyses keeps what was added before it.
  TOpenResult OpenRT60File(const std::filesystem::path& FileName, float SampleRate);

private:
  void ZeroAverage();
  void ResizeBands(tMessdatensatz& Rec, std::size_t Bands) const;
  double Rt60Of(const tMessdatensatz& Rec) const { return BasisT30 ? Rec.T30_sec : Rec.T20_sec; }
  const std::vector<float>& BandValues(const tMessdatensatz& Rec, TChartMeasure Measure) const;

  TRTPipeline& FRT;
  std::vector<tMessdatensatz> fmessdaten;
  std::vector<TCompareItem> FCompareItems;
  int FRoomType = 0;
  int FRange = 0;
  int FLevelMax = 0;
  int FLevelMin = 999;
  bool FLevelsSeen = false;
};
