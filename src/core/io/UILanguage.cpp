#include "io/UILanguage.h"

#include "io/BoundedFileRead.h"
#include "io/ProgramFolder.h"
#include "io/TextDecoding.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace {

// No language file comes near this; anything larger is not one and is not read into memory.
constexpr std::uintmax_t kMaxLanguageFileBytes = 4u << 20;

// Id of an entry line: the digits before the first "_" in plain decimal form, fitting an int.
std::optional<int> EntryId(std::string_view digits) {
  if (digits.empty() || digits.size() > 10 || (digits[0] == '0' && digits.size() > 1)) return std::nullopt;
  long long v = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v > INT_MAX) return std::nullopt;
  return static_cast<int>(v);
}

std::mutex gLanguageMutex;
std::shared_ptr<const TUILanguage> gLanguageTexts;  // absent while English is in use

std::shared_ptr<const TUILanguage> CurrentTexts() {
  std::lock_guard lock(gLanguageMutex);
  return gLanguageTexts;
}

// Primary language of a locale name such as "de_DE.UTF-8", "de-AT" or "de@euro".
std::string LanguagePart(std::string_view locale) {
  std::string lang;
  for (const char c : locale) {
    if (c == '_' || c == '-' || c == '.' || c == '@') break;
    lang += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return lang;
}

}  // namespace

TUILanguage TUILanguage::Parse(std::string_view Bytes) {
  const std::string text = DecodeTextBytes(Bytes);
  TUILanguage result;
  for (const std::string_view line : SplitLines(text)) {
    const std::size_t underscore = line.find('_');
    if (underscore == std::string_view::npos) continue;
    const std::optional<int> id = EntryId(line.substr(0, underscore));
    if (!id) continue;
    result.FTexts.insert_or_assign(*id, std::string(line.substr(underscore + 1)));
  }
  return result;
}

const std::string* TUILanguage::Find(int Id) const {
  const auto it = FTexts.find(Id);
  return it == FTexts.end() ? nullptr : &it->second;
}

std::string TUILanguage::GetText(int Id) const {
  if (Id <= 100) return "Fehler Text Id";
  const std::string* text = Find(Id);
  return text ? *text : std::to_string(Id);
}

bool LoadLanguageFile(std::string_view FileName, bool FullPath, std::string* NotFoundMessage) {
  if (NotFoundMessage) NotFoundMessage->clear();
  if (FileName.empty()) return false;
  const std::string path = FullPath ? std::string(FileName) : ResourceFolder() + std::string(FileName);

  const TBoundedRead read = ReadBoundedFile(path, kMaxLanguageFileBytes);
  if (read.Status == TBoundedReadStatus::NotFound && NotFoundMessage)
    *NotFoundMessage = "DE Sprachdatei nicht gefunden: " + path;
  if (read.Status != TBoundedReadStatus::Ok) return false;
  auto texts = std::make_shared<const TUILanguage>(TUILanguage::Parse(read.Bytes));
  // A file without a single entry is not a language file; loading it would put bare numbers on every
  // caption.
  if (texts->Count() == 0) return false;

  std::lock_guard lock(gLanguageMutex);
  gLanguageTexts = std::move(texts);
  return true;
}

bool LanguageTextsLoaded() { return CurrentTexts() != nullptr; }

void ResetLanguageTexts() {
  std::lock_guard lock(gLanguageMutex);
  gLanguageTexts.reset();
}

std::optional<std::string> GetText(int Id) {
  const auto texts = CurrentTexts();
  if (!texts) return std::nullopt;
  return texts->GetText(Id);
}

std::string Translate(std::string_view English, int Id) {
  std::string result(English);
  if (const std::optional<std::string> text = GetText(Id); text && *text != std::to_string(Id)) {
    result = *text;
  }
  return result;
}

std::vector<std::string> ApplyLanguage(std::span<const TTaggedCaption> Components) {
  const auto texts = CurrentTexts();
  std::vector<std::string> captions;
  captions.reserve(Components.size());
  for (const TTaggedCaption& c : Components) {
    captions.push_back(texts && c.Tag > 100 ? texts->GetText(c.Tag) : c.Caption);
  }
  return captions;
}

bool IsGermanUser() {
  return IsGermanUser([](const char* name) -> const char* { return std::getenv(name); });
}

bool IsGermanUser(const TEnvironmentReader& GetEnv) {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = GetEnv(name);
    if (value != nullptr && *value != '\0') return LanguagePart(value) == "de";
  }
  return false;
}

bool UseGermanTexts(std::span<const std::string> Arguments, bool GermanUser) {
  const bool englishForced = !Arguments.empty() && Arguments.front() == "/EN";
  return GermanUser && !englishForced;
}

const char* ManualAddress(bool GermanUser) { return GermanUser ? kManualAddressDE : kManualAddressEN; }
