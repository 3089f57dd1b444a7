#pragma once

#include <filesystem>
#include <list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

class TIniFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// An INI text file kept line by line, so that writing values changes only those entries and leaves
// everything else as the user wrote it: order, comments (lines beginning with ';' or '#'), blank lines,
// unknown sections and keys, and lines that are none of these.
//
// Section and key names compare without regard to ASCII case. Blanks and tabs around names and values
// are not part of them. Lines end with LF, CR LF or CR; a written file uses the line end of the file it
// was read from (LF for a new one) and keeps a UTF-8 byte order mark. When a key appears more than once,
// the first one counts (also across repeated sections of the same name) and is the one replaced.
// Reading, replacing and adding an entry take the same short time however long the file is.
class TIniFile {
public:
  TIniFile() = default;
  // The lookup tables point into the lines: a file is moved, never copied.
  TIniFile(TIniFile&&) noexcept = default;
  TIniFile& operator=(TIniFile&&) noexcept = default;
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  static TIniFile FromText(std::string_view Text);
  // A missing file gives an empty one. A file that exists but cannot be read, or is far larger than
  // any settings file (over 1 MiB), throws TIniFileError.
  static TIniFile Load(const std::filesystem::path& FileName);

  std::optional<std::string> ReadString(std::string_view Section, std::string_view Key) const;

  // Replaces the value in place; a new key goes after the last entry of its section, a new section to
  // the end. Line breaks inside Value become blanks (a value is one line).
  void WriteString(std::string_view Section, std::string_view Key, std::string_view Value);

  std::string Text() const;
  // Replaces the file atomically (see TAtomicFile); throws TAtomicFileError.
  void Save(const std::filesystem::path& FileName) const;

private:
  enum class TLineKind { Other, Section, Entry };
  struct TLine {
    TLineKind Kind = TLineKind::Other;
    std::string Raw;    // the line as written, without its line end
    std::string Key;    // entries: the key as written (trimmed)
    std::string Value;  // entries: the value (trimmed)
  };
  using TLines = std::list<TLine>;

  TLines FLines;
  // Lower-case "section\nkey" -> the first entry of that name.
  std::unordered_map<std::string, TLines::iterator> FEntries;
  // Lower-case section name -> the line a new key of that section goes after: the last entry of the
  // first section of that name, or its header while it has none.
  std::unordered_map<std::string, TLines::iterator> FSectionEnds;
  std::string FLineEnd = "\n";
  bool FByteOrderMark = false;
};
