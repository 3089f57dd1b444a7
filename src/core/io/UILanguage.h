#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Interface language. The program's own texts are English. German ones come from the language file
// "Vemra_DE.txt" in the resource folder: one entry per line, the text id in decimal digits, "_", then the
// text up to the end of the line (it may contain further "_"). Every message is passed through Translate
// with its English text and its id; a window component whose tag is above 100 takes the text of the id
// equal to its tag as its caption (ApplyLanguage).
//
// The choice is made once at start: German when the first command-line argument is not exactly "/EN"
// and the user's locale is German. While English is in use no texts are loaded and nothing is looked up.
// All texts are UTF-8.

// One parsed language file: text id -> text.
class TUILanguage {
public:
  // Decodes the bytes of a language file (UTF-8 when valid, else Windows-1252; a byte-order mark decides
  // first) and takes every line of the form "<digits>_<text>". The digits must be the plain decimal form
  // of the id (no sign, no leading zero) and fit an int; other lines are ignored. Line ends may be LF,
  // CR LF or CR. When an id occurs on several lines the last one wins, so a correction appended at the
  // end of the file takes effect without editing the original line.
  static TUILanguage Parse(std::string_view Bytes);

  // The text of the id, or nullptr when the file has no entry for it.
  const std::string* Find(int Id) const;
  std::size_t Count() const { return FTexts.size(); }

  // Lookup by the rules the whole interface follows: "Fehler Text Id" for an id of 100 or below (those
  // are not text ids), the entry's text, or the id's decimal number when there is no entry.
  std::string GetText(int Id) const;

private:
  std::map<int, std::string> FTexts;
};

// --- The process-wide language state -------------------------------------------------------------------

// The language file's name in the resource folder.
inline constexpr const char* kLanguageFileName = "Vemra_DE.txt";

// Loads the German texts. With FullPath the name is used as it stands, otherwise it is taken relative to
// ResourceFolder(). Returns false for an empty name, a missing file (NotFoundMessage, when given, then
// holds "DE Sprachdatei nicht gefunden: " + path, which the caller shows as it stands), a file that cannot
// be read or is larger than any language file (4 MiB), and a file without a single entry. On failure the
// texts loaded before, if any, stay in force; at start that means English.
bool LoadLanguageFile(std::string_view FileName, bool FullPath, std::string* NotFoundMessage = nullptr);

// True while German texts are loaded.
bool LanguageTextsLoaded();

// Back to English (no texts loaded). The program never switches language while it runs; tests do.
void ResetLanguageTexts();

// The loaded text of Id by TUILanguage::GetText, or nothing when no texts are loaded (the caller keeps
// its own text).
std::optional<std::string> GetText(int Id);

// The text to show for a message: the loaded text of Id when German texts are loaded and the file has a
// text for it (one that is not just the id's number), else English.
std::string Translate(std::string_view English, int Id);

// One component of a window as far as translation is concerned: its tag and its current caption.
struct TTaggedCaption {
  int Tag = 0;
  std::string Caption;
};

// The captions after translation, in the order given: unchanged while no texts are loaded and for tags
// of 100 or below; otherwise GetText(Tag) (a tag without an entry shows its number). The window code
// decides which kinds of component take part (buttons, labels, check boxes, tabs, group boxes, radio
// groups, panels, menu items, the label of a labelled edit) and sets the results back.
std::vector<std::string> ApplyLanguage(std::span<const TTaggedCaption> Components);

// --- Language decision and help ------------------------------------------------------------------------

// Reads an environment variable; returns nullptr when it is not set.
using TEnvironmentReader = std::function<const char*(const char*)>;

// True when the user's locale is German: the first of LC_ALL, LC_MESSAGES and LANG that is set and not
// empty names the language "de" ("de", "de_DE.UTF-8", "de_AT@euro", "de-CH", in any letter case).
bool IsGermanUser();
bool IsGermanUser(const TEnvironmentReader& GetEnv);

// German texts are used when the first command-line argument (if any) is not exactly "/EN" (letter case
// counts; later arguments are not looked at) and the user is German. Arguments are those after the
// program's own name.
bool UseGermanTexts(std::span<const std::string> Arguments, bool GermanUser);

// The user manual, a PDF document on the maker's web site. The German one is chosen by the user's
// locale alone: "/EN" does not change which manual "Help (Web)" opens.
inline constexpr const char* kManualAddressDE = "https://www.vemra.de/download/Vemra_manual_DE.pdf";
inline constexpr const char* kManualAddressEN = "https://www.vemra.de/download/Vemra_manual_EN.pdf";
const char* ManualAddress(bool GermanUser);
