// vemra-cli settings show [--json]
// vemra-cli settings set SECTION/KEY=VALUE...
//
// Shows the settings as the program will use them (after the load-time checks) and changes single
// entries of the settings file through the same record and writer the program uses, so a value the
// program would not accept is corrected the same way ("ASIO/Skip=5" is stored as 50).

#include "CliCommand.h"

#include "io/IniFile.h"
#include "io/ini_data.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::string KeyName(const TIniDataKey& Key) { return Key.Section + "/" + Key.Key; }

nlohmann::ordered_json ValueJson(const TIniValue& Value) {
  if (auto i = std::get_if<int32_t>(&Value)) return *i;
  if (auto b = std::get_if<bool>(&Value)) return *b;
  if (auto d = std::get_if<double>(&Value)) return *d;
  return std::get<std::string>(Value);
}

bool IsFileNameKey(const TIniDataKey& Key) {
  return Key.Section == "Mic" ? (Key.Key.rfind("K0-", 0) == 0 || Key.Key.rfind("K90-", 0) == 0)
                              : (Key.Section == "Report" && Key.Key == "Img");
}

// The settings file and the values the program would take from it.
tinidataValues LoadSettings(const std::filesystem::path& Path) {
  TIniFile file;
  try {
    file = TIniFile::Load(Path);
  } catch (const TIniFileError& e) {
    throw TCliError(e.what());
  }
  tinidataValues values;
  ReadIniData(file, values);
  return values;
}

void Show(bool Json) {
  const std::filesystem::path path = IniFileName();
  const tinidataValues values = LoadSettings(path);
  if (Json) {
    nlohmann::ordered_json doc;
    doc["path"] = path.string();
    doc["values"] = nlohmann::ordered_json::object();
    for (const auto& key : IniDataKeys()) doc["values"][KeyName(key)] = ValueJson(GetIniDataValue(values, key));
    std::cout << doc.dump(2) << "\n";
    return;
  }
  std::error_code ec;
  std::cout << "Settings file: " << path.string()
            << (std::filesystem::exists(path, ec) ? "" : " (not written yet; the defaults apply)") << "\n";
  const TNumberFormat numbers = TNumberFormat::User();
  for (const auto& key : IniDataKeys())
    std::cout << KeyName(key) << "=" << IniValueText(GetIniDataValue(values, key), numbers) << "\n";
}

struct TAssignment {
  TIniDataKey Key;
  std::string Text;  // as the user gave it
  std::string Value;  // as it is handed to the record
};

TAssignment ParseAssignment(const std::string& Arg) {
  const std::size_t eq = Arg.find('=');
  const std::size_t slash = Arg.find('/');
  if (eq == std::string::npos || slash == std::string::npos || slash > eq)
    throw TCliUsageError("expected SECTION/KEY=VALUE, got \"" + Arg + "\"");
  const std::string section = Arg.substr(0, slash);
  const std::string key = Arg.substr(slash + 1, eq - slash - 1);
  const auto found = FindIniDataKey(section, key);
  if (!found)
    throw TCliError("unknown setting \"" + section + "/" + key + "\" (\"vemra-cli settings show\" lists them all)");
  TAssignment a{*found, Arg.substr(eq + 1), Arg.substr(eq + 1)};
  const std::string name = KeyName(a.Key);

  if (a.Value.find_first_of("\r\n") != std::string::npos) throw TCliError(name + ": the value must be one line");
  switch (a.Key.Kind) {
    case TIniValueKind::Boolean:
      if (a.Value == "true") a.Value = "1";
      if (a.Value == "false") a.Value = "0";
      if (!TNumberFormat::ParseInt(a.Value))
        throw TCliError(name + ": \"" + a.Text + "\" is not a yes/no value (1, 0, true or false)");
      break;
    case TIniValueKind::Integer:
      if (!TNumberFormat::ParseInt(a.Value))
        throw TCliError(name + ": \"" + a.Text + "\" is not a whole number (decimal or 0x hexadecimal, 32 bits)");
      break;
    case TIniValueKind::Float:
      if (!TNumberFormat::ParseFloatEitherSeparator(a.Value))
        throw TCliError(name + ": \"" + a.Text + "\" is not a number");
      break;
    case TIniValueKind::Text:
      if (IsFileNameKey(a.Key) && !a.Value.empty()) {
        // The program may run from another folder: keep the file by its full path.
        std::error_code ec;
        const std::filesystem::path full = std::filesystem::absolute(a.Value, ec);
        if (!ec) a.Value = full.lexically_normal().string();
        if (a.Key.Section == "Mic" && (!std::filesystem::exists(a.Value, ec) || std::filesystem::is_directory(a.Value, ec)))
          throw TCliError(name + ": there is no file \"" + a.Value + "\" (a correction file must exist; an empty value clears it)");
      }
      break;
  }
  return a;
}

void Set(const std::vector<std::string>& Args) {
  std::vector<TAssignment> assignments;
  for (const auto& arg : Args) assignments.push_back(ParseAssignment(arg));

  const std::filesystem::path path = IniFileName();
  IniData = LoadSettings(path);
  for (const auto& a : assignments) SetIniDataValue(IniData, a.Key, a.Value);
  try {
    WriteIniData(path, TNumberFormat::User());
  } catch (const std::runtime_error& e) {
    throw TCliError(e.what());
  }

  // What the program will now use, read back from the file.
  const tinidataValues stored = LoadSettings(path);
  const TNumberFormat numbers = TNumberFormat::User();
  for (const auto& a : assignments) {
    const TIniValue effective = GetIniDataValue(stored, a.Key);
    const std::string text = IniValueText(effective, numbers);
    std::cout << KeyName(a.Key) << "=" << text;
    // Say so when the load-time checks replaced the value.
    const std::string given = a.Key.Kind == TIniValueKind::Text ? a.Value : a.Text;
    if (a.Key.Kind == TIniValueKind::Integer && TNumberFormat::ParseInt(a.Value) != std::get<int32_t>(effective))
      std::cout << " (" << given << " is not accepted; the program uses " << text << ")";
    else if (a.Key.Kind == TIniValueKind::Text && a.Value != std::get<std::string>(effective))
      std::cout << " (\"" << given << "\" is not kept; the program uses \"" << text << "\")";
    std::cout << "\n";
  }
  std::cout << "Written to " << path.string() << "\n";
}

const TCliCommand reg([](CLI::App& app) {
  auto* settings = app.add_subcommand("settings", "Show or change the settings file (Vemra.INI)");
  settings->require_subcommand(1);

  auto* show = settings->add_subcommand("show", "Show the settings the program uses and the file they come from");
  static bool json = false;
  show->add_flag("--json", json, "Print one JSON document {\"path\", \"values\": {\"SECTION/KEY\": value}}");
  show->callback([] { Show(json); });

  auto* set = settings->add_subcommand("set", "Change settings: SECTION/KEY=VALUE ... (see \"settings show\" for the keys)");
  static std::vector<std::string> assignments;
  set->add_option("assignments", assignments, "SECTION/KEY=VALUE, e.g. RTA/Octave=1 Mic/SPLOffset0=-1.5")
      ->required()
      ->expected(1, -1);
  set->callback([] { Set(assignments); });
});

}  // namespace
