#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "io/NumberFormat.h"
#include "io/ProgramFolder.h"

class TIniFile;

// Number of interface inputs that have their own microphone correction files and SPL offset.
inline constexpr int MikKorrInputs = 10;

// The settings that survive a restart, in the order the program declares them. Every window reads and
// assigns these fields directly and then calls WriteIniData when the change is to persist.
struct tinidataValues {
  int32_t screen_left = 10;  // main window
  int32_t screen_top = 10;
  int32_t screen_width = 700;
  int32_t screen_height = 450;
  int32_t screen_style = 0;  // 0 "Silver", > 0 "Glow"

  std::string ASIO_interface;   // name of the last selected audio interface
  std::string ASIO_samplerate;  // decimal text; always "48000" after reading
  int32_t ASIO_Messkanalkombi = 0;                          // measured channel, 0 = Ch1 ... 3 = Ch4
  std::array<uint8_t, 4> ASIO_ArrInSequence = {0, 1, 2, 3};  // input of channel i+1, 0-based
  int32_t ASIO_SkipStartBuffer = 50;                        // audio blocks ignored after a start

  int32_t PNoise_iLevel = 7;  // generator output level, dB (stored as a positive number)
  int32_t Pnoise_Sinus_Freq = 1000;
  int32_t PNoise_Sweep_StartHz = 18;
  int32_t PNoise_Sweep_StopHz = 22000;
  int32_t PNoise_Sweep_Dauer_sec = 12;
  int32_t PNoise_LastSignal = 1;  // generator page last used

  bool SysCalAktiv = false;  // apply the audio-interface calibration
  std::string Report_Autor;

  int32_t RTA_Octave = 2;  // 0 = 1, 1 = 3, 2 = 6, 3 = 9, 4 = 12 bands per octave
  int32_t RTA_Speed = 0;   // time weighting index
  int32_t RTA_BarType = 0;
  int32_t RTA_Hide = 0;           // bit i set: channel i+1 hidden
  int32_t RTA_ACZ_Bewertung = 0;  // 0 Z, 1 A, 2 C
  int32_t RTA_Unit = 0;           // 0 "dBFS", 1 "dBFS RMS", 2 "SPL dB"
  int32_t RTA_LeqSlidingSecWindow = 300;
  int32_t RTA_LeqMode = 0;  // 0 Leq, 1 running Leq, 2 Lex,8h

  int32_t RT60_SweepPegel = -6;
  int32_t RT60_RoomSize = 0;
  int32_t RT60_Source = 0;  // 0 T20, 1 T30
  int32_t RT60_Messkanal = 0;
  int32_t RT60_left = 0;  // room window
  int32_t RT60_top = 0;
  int32_t RT60_width = 720;
  int32_t RT60_height = 430;
  int32_t RT60_Frequenzbereich = 0;

  int32_t yt_left = 20;  // logger window
  int32_t yt_top = 20;
  int32_t yt_width = 500;
  int32_t yt_height = 250;
  int32_t yt_timebase = 300;  // logger sampling interval, ms

  std::array<std::string, MikKorrInputs> MikKorr_0_file;   // per input: 0 degree correction curve
  std::array<std::string, MikKorrInputs> MikKorr_90_file;  // per input: random-incidence curve
  std::array<double, MikKorrInputs> MikKorr_SPLOffset{};   // per input: SPL calibration offset, dB
  int32_t MikKorrType = 0;                                 // 0 off, 1 "0°" curves, 2 ">0°" curves
  std::string stLogoIMageDatei;                            // logo of the room report

  bool operator==(const tinidataValues&) const = default;
};

// The settings record with the live signal state of the audio callback (0 off, 1 pink noise, 2 sine,
// 3/4 room sweep, 5 generator sweep, -1 idle, -99 tail). The signal state is shared with the audio
// thread and is never written to the file. Copies carry the stored settings only: a copy starts with
// the signal state 0, and assigning a record leaves the target's signal state alone.
struct tinidata : tinidataValues {
  std::atomic<int32_t> Pnoise_Testsignal{0};

  tinidata() = default;
  tinidata(const tinidata& Other) : tinidataValues(Other) {}
  tinidata& operator=(const tinidata& Other) {
    tinidataValues::operator=(Other);
    return *this;
  }
  tinidata& operator=(const tinidataValues& Other) {
    tinidataValues::operator=(Other);
    return *this;
  }
};

// The program's one settings record.
extern tinidata IniData;

// Folder of the files the program writes (Vemra.INI and the measured calibration Vemra.dlc):
// $VEMRA_CONFIG_DIR when set; else ExeFolder when it can be written to; else $XDG_CONFIG_HOME/vemra
// (~/.config/vemra when that is not set).
std::filesystem::path ConfigFolder(const std::filesystem::path& ExeFolder = ProgramFolder());

// The settings file: ConfigFolder() / "Vemra.INI".
std::filesystem::path IniFileName();

// Fills IniData from the settings file. A missing file, a missing entry or an entry that does not
// convert gives the default; the load-time checks are applied to every value; integers may be decimal or
// "0x" hexadecimal; floats are accepted with either decimal separator, whatever the locale. The stored
// sample rate is replaced by "48000". A file that cannot be read at all also gives the defaults
// (WriteIniData then refuses to replace it). Never throws.
//
// The load-time checks: negative window positions become 10, ASIO/Skip below 10 becomes 50, yt/TBms
// below 300 becomes 300. Settings that choose from a list are used as indexes into tables, so a value
// outside the list becomes the field's default (a negative one 0 where the list begins at 0):
//   RTA/Octave 0..4 (above: 2), RTA/Speed 0..4, RTA/ACZ 0..2, RTA/Unit 0..2, RTA/BarType 0..2,
//   RTA/LeqMode 0..2, Mic/Mode 0..2, ASIO/CH 0..3, RT60/Room 0..6, RT60/Range 0..3, RT60/RT60Source 0..1,
//   Noise/Last 0..2 (else 1), RT60/CH an input 0..9; ASIO/InputforChN, kept in 8 bits, an input 0..9
//   (else N).
// Values that size buffers or set levels keep to the range of their controls: RTA/Leqw 1..36000 s
// (else 300), Noise/SweepDauer 10..40 s (else 12), Noise/Level -60..60 dB (else 7), RT60/Level -30..0 dB
// (else -6).
void ReadIniData(const std::filesystem::path& FileName = IniFileName());
// The same from a file already in memory, into any record.
void ReadIniData(const TIniFile& File, tinidataValues& Data);

// Writes every stored field of IniData into the settings file, replacing entries in place and keeping
// every other line of the file. Floats use the decimal separator of Numbers. A correction-file name is
// written only when it is empty or names an existing file. The file is replaced atomically; a failure
// throws std::runtime_error (TIniFileError when the present file cannot be read, TAtomicFileError when
// the new one cannot be written) with a message fit for the user, and leaves the file as it was.
// IniData is never changed by writing.
void WriteIniData(const std::filesystem::path& FileName = IniFileName(), const TNumberFormat& Numbers = TNumberFormat::User());
// The same into a file in memory, from any record.
void WriteIniData(TIniFile& File, const tinidataValues& Data, const TNumberFormat& Numbers);

// Makes the stored window positions and sizes fit a screen of the given size (main, logger and room
// windows). Called once the screen is known, before the first write.
void MakeGeometryPlausible(tinidataValues& Data, int32_t ScreenWidth, int32_t ScreenHeight);

// The stored entries by name, for tools that show or change single settings.
enum class TIniValueKind { Integer, Boolean, Text, Float };
using TIniValue = std::variant<int32_t, bool, std::string, double>;

struct TIniDataKey {
  std::string Section;
  std::string Key;
  TIniValueKind Kind = TIniValueKind::Integer;
};

// Every stored entry, in the order they are written.
std::vector<TIniDataKey> IniDataKeys();
// Finds an entry by section and key, without regard to ASCII case.
std::optional<TIniDataKey> FindIniDataKey(std::string_view Section, std::string_view Key);
TIniValue GetIniDataValue(const tinidataValues& Data, const TIniDataKey& Entry);
// A value as the file holds it: integers in decimal, booleans "1"/"0", floats with Numbers' separator.
std::string IniValueText(const TIniValue& Value, const TNumberFormat& Numbers);
// Converts Text as the file reader does (floats with either separator) and assigns it with the load-time
// check applied. Returns false, changing nothing, when Text does not convert.
bool SetIniDataValue(tinidataValues& Data, const TIniDataKey& Entry, std::string_view Text);
