#include "io/ini_data.h"

#include "io/IniFile.h"

#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

tinidata IniData;

namespace {

std::string EnvText(const char* Name) {
  const char* value = std::getenv(Name);
  return value ? std::string(value) : std::string();
}

}  // namespace

std::filesystem::path ConfigFolder(const std::filesystem::path& ExeFolder) {
  const std::string overridden = EnvText("VEMRA_CONFIG_DIR");
  if (!overridden.empty()) return overridden;
  std::filesystem::path exeFolder = ExeFolder;
  if (!exeFolder.has_filename()) exeFolder = exeFolder.parent_path();  // "/opt/vemra/" -> "/opt/vemra"
  if (!exeFolder.empty() && ::access(exeFolder.c_str(), W_OK | X_OK) == 0) return exeFolder;
  // Relative XDG paths are not valid and are ignored.
  const std::string xdg = EnvText("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg.front() == '/') return std::filesystem::path(xdg) / "vemra";
  std::string home = EnvText("HOME");
  if (home.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  }
  return std::filesystem::path(home) / ".config" / "vemra";
}

std::filesystem::path IniFileName() { return ConfigFolder() / "Vemra.INI"; }

namespace {

// One stored entry: where it lives in the file, how it reads from and writes to the record. Assign
// applies the entry's load-time check.
struct TEntry {
  TIniDataKey Name;
  std::function<TIniValue(const tinidataValues&)> Get;
  std::function<void(tinidataValues&, const TIniValue&)> Assign;
  bool CorrectionFileName = false;  // written only when empty or naming an existing file
};

using TIntCheck = std::function<int32_t(int32_t)>;
int32_t NoCheck(int32_t V) { return V; }
int32_t NegativeTo10(int32_t V) { return V < 0 ? 10 : V; }

// A value below Lo becomes Below, one above Hi becomes Above. Settings that choose an entry of a list (a
// box item, a mode, a room type, an input) index tables with their value, so a hand-edited value beyond
// the list must not reach them.
TIntCheck Within(int32_t Lo, int32_t Hi, int32_t Below, int32_t Above) {
  return [=](int32_t V) { return V < Lo ? Below : (V > Hi ? Above : V); };
}

TEntry Int(const char* Section, std::string Key, int32_t tinidataValues::*Field, TIntCheck Check = NoCheck) {
  return {{Section, std::move(Key), TIniValueKind::Integer},
          [Field](const tinidataValues& D) { return TIniValue(D.*Field); },
          [Field, Check](tinidataValues& D, const TIniValue& V) { D.*Field = Check(std::get<int32_t>(V)); }};
}

TEntry Bool(const char* Section, std::string Key, bool tinidataValues::*Field) {
  return {{Section, std::move(Key), TIniValueKind::Boolean},
          [Field](const tinidataValues& D) { return TIniValue(D.*Field); },
          [Field](tinidataValues& D, const TIniValue& V) { D.*Field = std::get<bool>(V); }};
}

TEntry Text(const char* Section, std::string Key, std::string tinidataValues::*Field) {
  return {{Section, std::move(Key), TIniValueKind::Text},
          [Field](const tinidataValues& D) { return TIniValue(D.*Field); },
          [Field](tinidataValues& D, const TIniValue& V) { D.*Field = std::get<std::string>(V); }};
}

const std::vector<TEntry>& Entries() {
  static const std::vector<TEntry> entries = [] {
    using D = tinidataValues;
    std::vector<TEntry> e;
    e.push_back(Int("Form", "Left", &D::screen_left, NegativeTo10));
    e.push_back(Int("Form", "Top", &D::screen_top, NegativeTo10));
    e.push_back(Int("Form", "Width", &D::screen_width));
    e.push_back(Int("Form", "Height", &D::screen_height));
    e.push_back(Int("Form", "Style", &D::screen_style));
    e.push_back(Bool("System", "CalActive", &D::SysCalAktiv));
    e.push_back(Text("ASIO", "Interface", &D::ASIO_interface));
    // Every start runs at 48000 Hz whatever the file says; the key is still written.
    e.push_back({{"ASIO", "SR", TIniValueKind::Text},
                 [](const D& d) { return TIniValue(d.ASIO_samplerate); },
                 [](D& d, const TIniValue&) { d.ASIO_samplerate = "48000"; }});
    e.push_back(Int("ASIO", "CH", &D::ASIO_Messkanalkombi, Within(0, 3, 0, 0)));
    e.push_back(Int("ASIO", "Skip", &D::ASIO_SkipStartBuffer, [](int32_t v) { return v < 10 ? 50 : v; }));
    for (std::size_t i = 0; i < 4; ++i) {
      e.push_back({{"ASIO", "InputforCh" + std::to_string(i), TIniValueKind::Integer},
                   [i](const D& d) { return TIniValue(int32_t(d.ASIO_ArrInSequence[i])); },
                   [i](D& d, const TIniValue& v) {
                     // Kept in 8 bits; an input beyond the ten that are read gives the default.
                     const auto input = static_cast<uint8_t>(std::get<int32_t>(v));
                     d.ASIO_ArrInSequence[i] = input < MikKorrInputs ? input : static_cast<uint8_t>(i);
                   }});
    }
    e.push_back(Int("Noise", "Level", &D::PNoise_iLevel, Within(-60, 60, 7, 7)));
    e.push_back(Int("Noise", "SweepStart", &D::PNoise_Sweep_StartHz));
    e.push_back(Int("Noise", "SweepStop", &D::PNoise_Sweep_StopHz));
    e.push_back(Int("Noise", "SweepDauer", &D::PNoise_Sweep_Dauer_sec, Within(10, 40, 12, 12)));
    e.push_back(Int("Noise", "SineFr", &D::Pnoise_Sinus_Freq));
    e.push_back(Int("Noise", "Last", &D::PNoise_LastSignal, Within(0, 2, 1, 1)));
    e.push_back(Int("RTA", "Octave", &D::RTA_Octave, Within(0, 4, 0, 2)));
    e.push_back(Int("RTA", "Speed", &D::RTA_Speed, Within(0, 4, 0, 0)));
    e.push_back(Int("RTA", "BarType", &D::RTA_BarType, Within(0, 2, 0, 0)));
    e.push_back(Int("RTA", "Hide", &D::RTA_Hide));
    e.push_back(Int("RTA", "ACZ", &D::RTA_ACZ_Bewertung, Within(0, 2, 0, 0)));
    e.push_back(Int("RTA", "Unit", &D::RTA_Unit, Within(0, 2, 0, 0)));
    e.push_back(Int("RTA", "Leqw", &D::RTA_LeqSlidingSecWindow, Within(1, 36000, 300, 300)));
    e.push_back(Int("RTA", "LeqMode", &D::RTA_LeqMode, Within(0, 2, 0, 0)));
    e.push_back(Int("yt", "Left", &D::yt_left, NegativeTo10));
    e.push_back(Int("yt", "Top", &D::yt_top, NegativeTo10));
    e.push_back(Int("yt", "Width", &D::yt_width));
    e.push_back(Int("yt", "Height", &D::yt_height));
    e.push_back(Int("yt", "TBms", &D::yt_timebase, [](int32_t v) { return v < 300 ? 300 : v; }));
    for (std::size_t i = 0; i < MikKorrInputs; ++i) {
      const std::string n = std::to_string(i);
      e.push_back({{"Mic", "K0-" + n, TIniValueKind::Text},
                   [i](const D& d) { return TIniValue(d.MikKorr_0_file[i]); },
                   [i](D& d, const TIniValue& v) { d.MikKorr_0_file[i] = std::get<std::string>(v); },
                   true});
      e.push_back({{"Mic", "K90-" + n, TIniValueKind::Text},
                   [i](const D& d) { return TIniValue(d.MikKorr_90_file[i]); },
                   [i](D& d, const TIniValue& v) { d.MikKorr_90_file[i] = std::get<std::string>(v); },
                   true});
      e.push_back({{"Mic", "SPLOffset" + n, TIniValueKind::Float},
                   [i](const D& d) { return TIniValue(d.MikKorr_SPLOffset[i]); },
                   [i](D& d, const TIniValue& v) { d.MikKorr_SPLOffset[i] = std::get<double>(v); }});
    }
    e.push_back(Int("Mic", "Mode", &D::MikKorrType, Within(0, 2, 0, 0)));
    e.push_back(Int("RT60", "Level", &D::RT60_SweepPegel, Within(-30, 0, -6, -6)));
    e.push_back(Int("RT60", "Room", &D::RT60_RoomSize, Within(0, 6, 0, 0)));
    e.push_back(Int("RT60", "Range", &D::RT60_Frequenzbereich, Within(0, 3, 0, 0)));
    e.push_back(Int("RT60", "RT60Source", &D::RT60_Source, Within(0, 1, 0, 0)));
    e.push_back(Int("RT60", "CH", &D::RT60_Messkanal, Within(0, MikKorrInputs - 1, 0, 0)));
    e.push_back(Int("RT60", "Left", &D::RT60_left, NegativeTo10));
    e.push_back(Int("RT60", "Top", &D::RT60_top, NegativeTo10));
    e.push_back(Int("RT60", "Width", &D::RT60_width));
    e.push_back(Int("RT60", "Height", &D::RT60_height));
    e.push_back(Text("Report", "Author", &D::Report_Autor));
    e.push_back(Text("Report", "Img", &D::stLogoIMageDatei));
    return e;
  }();
  return entries;
}

const TEntry* FindEntry(std::string_view Section, std::string_view Key) {
  auto same = [](std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (std::size_t i = 0; i < A.size(); ++i) {
      char a = A[i], b = B[i];
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
      if (a != b) return false;
    }
    return true;
  };
  for (const auto& e : Entries())
    if (same(e.Name.Section, Section) && same(e.Name.Key, Key)) return &e;
  return nullptr;
}

// Reading goes section by section in an order of its own (the writing order is that of Entries()).
const std::vector<const TEntry*>& ReadOrder() {
  static const std::vector<const TEntry*> order = [] {
    std::vector<std::pair<std::string, std::string>> names = {
        {"Form", "Left"}, {"Form", "Top"}, {"Form", "Width"}, {"Form", "Height"}, {"Form", "Style"},
        {"System", "CalActive"}, {"Report", "Author"}, {"Report", "Img"},
        {"ASIO", "Interface"}, {"ASIO", "SR"}, {"ASIO", "CH"}, {"ASIO", "Skip"},
        {"ASIO", "InputforCh0"}, {"ASIO", "InputforCh1"}, {"ASIO", "InputforCh2"}, {"ASIO", "InputforCh3"},
        {"RTA", "Octave"}, {"RTA", "Speed"}, {"RTA", "BarType"}, {"RTA", "Hide"}, {"RTA", "ACZ"},
        {"RTA", "Unit"}, {"RTA", "Leqw"}, {"RTA", "LeqMode"},
        {"RT60", "Level"}, {"RT60", "Room"}, {"RT60", "Range"}, {"RT60", "RT60Source"}, {"RT60", "CH"},
        {"RT60", "Left"}, {"RT60", "Top"}, {"RT60", "Width"}, {"RT60", "Height"},
        {"yt", "Left"}, {"yt", "Top"}, {"yt", "Width"}, {"yt", "Height"}, {"yt", "TBms"},
        {"Noise", "Level"}, {"Noise", "SweepStart"}, {"Noise", "SweepStop"}, {"Noise", "SweepDauer"},
        {"Noise", "SineFr"}, {"Noise", "Last"}};
    for (int i = 0; i < MikKorrInputs; ++i) {
      const std::string n = std::to_string(i);
      names.push_back({"Mic", "K0-" + n});
      names.push_back({"Mic", "K90-" + n});
      names.push_back({"Mic", "SPLOffset" + n});
    }
    names.push_back({"Mic", "Mode"});
    std::vector<const TEntry*> o;
    for (const auto& [section, key] : names) o.push_back(FindEntry(section, key));
    return o;
  }();
  return order;
}

// Converts Text for an entry of the given kind into Value; false when it does not convert.
bool Convert(TIniValueKind Kind, std::string_view Text, TIniValue& Value) {
  switch (Kind) {
    case TIniValueKind::Integer:
      if (auto v = TNumberFormat::ParseInt(Text)) {
        Value.emplace<int32_t>(*v);
        return true;
      }
      return false;
    case TIniValueKind::Boolean:
      if (auto v = TNumberFormat::ParseInt(Text)) {
        Value.emplace<bool>(*v != 0);
        return true;
      }
      return false;
    case TIniValueKind::Text:
      Value.emplace<std::string>(Text);
      return true;
    case TIniValueKind::Float:
      if (auto v = TNumberFormat::ParseFloatEitherSeparator(Text)) {
        Value.emplace<double>(*v);
        return true;
      }
      return false;
  }
  return false;
}

bool NamesExistingFile(const std::string& Name) {
  std::error_code ec;
  return std::filesystem::exists(Name, ec) && !std::filesystem::is_directory(Name, ec);
}

}  // namespace

void ReadIniData(const TIniFile& File, tinidataValues& Data) {
  static const tinidataValues defaults;
  for (const TEntry* e : ReadOrder()) {
    TIniValue value;
    const auto text = File.ReadString(e->Name.Section, e->Name.Key);
    if (!text || !Convert(e->Name.Kind, *text, value)) value = e->Get(defaults);
    e->Assign(Data, value);
  }
}

void ReadIniData(const std::filesystem::path& FileName) {
  TIniFile file;
  try {
    file = TIniFile::Load(FileName);
  } catch (const TIniFileError&) {
    // Read like a missing file; writing will refuse to replace what it could not read.
  }
  tinidataValues values;
  ReadIniData(file, values);
  IniData = values;
}

void WriteIniData(TIniFile& File, const tinidataValues& Data, const TNumberFormat& Numbers) {
  for (const auto& e : Entries()) {
    const TIniValue value = e.Get(Data);
    if (e.CorrectionFileName) {
      const std::string& name = std::get<std::string>(value);
      // A name whose file has gone keeps whatever the file held before.
      if (!name.empty() && !NamesExistingFile(name)) continue;
    }
    File.WriteString(e.Name.Section, e.Name.Key, IniValueText(value, Numbers));
  }
}

void WriteIniData(const std::filesystem::path& FileName, const TNumberFormat& Numbers) {
  TIniFile file = TIniFile::Load(FileName);
  WriteIniData(file, IniData, Numbers);
  file.Save(FileName);
}

void MakeGeometryPlausible(tinidataValues& Data, int32_t ScreenWidth, int32_t ScreenHeight) {
  // Compared in 64 bits: a huge stored position must not overflow the arithmetic.
  auto beyond = [](int32_t Position, int32_t Screen, int32_t Margin) {
    return int64_t(Position) > int64_t(Screen) - Margin;
  };
  if (beyond(Data.screen_left, ScreenWidth, 100)) Data.screen_left = 10;
  if (beyond(Data.screen_top, ScreenHeight, 100)) Data.screen_top = 10;
  if (Data.screen_width < 400) Data.screen_width = 500;
  if (Data.screen_height < 300) Data.screen_height = 300;

  if (beyond(Data.yt_left, ScreenWidth, 20)) Data.yt_left = 10;
  if (beyond(Data.yt_top, ScreenHeight, 20)) Data.yt_top = 30;
  if (Data.yt_width < 200) Data.yt_width = 250;
  if (Data.yt_height < 200) Data.yt_height = 250;

  if (beyond(Data.RT60_left, ScreenWidth, 20)) Data.RT60_left = 30;
  if (beyond(Data.RT60_top, ScreenHeight, 20)) Data.RT60_top = 10;
  if (Data.RT60_width < 200) Data.RT60_width = 250;
  if (Data.RT60_height < 200) Data.RT60_height = 250;
}

std::vector<TIniDataKey> IniDataKeys() {
  std::vector<TIniDataKey> keys;
  for (const auto& e : Entries()) keys.push_back(e.Name);
  return keys;
}

std::optional<TIniDataKey> FindIniDataKey(std::string_view Section, std::string_view Key) {
  if (const TEntry* e = FindEntry(Section, Key)) return e->Name;
  return std::nullopt;
}

TIniValue GetIniDataValue(const tinidataValues& Data, const TIniDataKey& Entry) {
  const TEntry* e = FindEntry(Entry.Section, Entry.Key);
  if (!e) throw std::invalid_argument("no setting " + Entry.Section + "/" + Entry.Key);
  return e->Get(Data);
}

std::string IniValueText(const TIniValue& Value, const TNumberFormat& Numbers) {
  if (auto i = std::get_if<int32_t>(&Value)) return std::to_string(*i);
  if (auto b = std::get_if<bool>(&Value)) return *b ? "1" : "0";
  if (auto d = std::get_if<double>(&Value)) return Numbers.FormatFloat(*d);
  return std::get<std::string>(Value);
}

bool SetIniDataValue(tinidataValues& Data, const TIniDataKey& Entry, std::string_view Text) {
  const TEntry* e = FindEntry(Entry.Section, Entry.Key);
  if (!e) throw std::invalid_argument("no setting " + Entry.Section + "/" + Entry.Key);
  TIniValue value;
  if (!Convert(e->Name.Kind, Text, value)) return false;
  e->Assign(Data, value);
  return true;
}
