#include "io/IniFile.h"

#include "io/AtomicFile.h"
#include "io/BoundedFileRead.h"
#include "io/TextDecoding.h"

#include <cstring>

namespace {

// A settings file holds some 2 KB. Each line costs about 150 bytes in memory: a 16 MiB file of short
// lines took more than 2 GB.
constexpr std::uintmax_t MaxFileSize = 1u << 20;

std::string_view Trim(std::string_view Text) {
  while (!Text.empty() && (Text.front() == ' ' || Text.front() == '\t')) Text.remove_prefix(1);
  while (!Text.empty() && (Text.back() == ' ' || Text.back() == '\t')) Text.remove_suffix(1);
  return Text;
}

char LowerAscii(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }

std::string Lower(std::string_view Text) {
  std::string lower(Text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

std::string EntryId(std::string_view Section, std::string_view Key) {
  std::string id(Section.size() + 1 + Key.size(), '\n');
  for (std::size_t i = 0; i < Section.size(); ++i) id[i] = LowerAscii(Section[i]);
  for (std::size_t i = 0; i < Key.size(); ++i) id[Section.size() + 1 + i] = LowerAscii(Key[i]);
  return id;
}

}  // namespace

TIniFile TIniFile::FromText(std::string_view Text) {
  TIniFile file;
  if (Text.substr(0, 3) == "\xEF\xBB\xBF") {
    file.FByteOrderMark = true;
    Text.remove_prefix(3);
  }
  const std::size_t firstBreak = Text.find_first_of("\r\n");
  if (firstBreak != std::string_view::npos && Text[firstBreak] == '\r')
    file.FLineEnd = (Text.substr(firstBreak, 2) == "\r\n") ? "\r\n" : "\r";

  std::string section;          // lower case
  bool firstOfItsName = false;  // the first section of this name: new keys go to its end
  for (const std::string_view raw : SplitLines(Text)) {
    TLine line;
    line.Raw = std::string(raw);
    const std::string_view trimmed = Trim(line.Raw);
    const std::size_t close = trimmed.find(']');
    std::string sectionName;
    if (!trimmed.empty() && trimmed.front() == '[' && close != std::string_view::npos) {
      line.Kind = TLineKind::Section;
      sectionName = Lower(Trim(trimmed.substr(1, close - 1)));
    } else if (!trimmed.empty() && trimmed.front() != ';' && trimmed.front() != '#') {
      const std::size_t eq = trimmed.find('=');
      if (eq != std::string_view::npos && !Trim(trimmed.substr(0, eq)).empty()) {
        line.Kind = TLineKind::Entry;
        line.Key = std::string(Trim(trimmed.substr(0, eq)));
        line.Value = std::string(Trim(trimmed.substr(eq + 1)));
      }
    }
    const auto it = file.FLines.insert(file.FLines.end(), std::move(line));
    if (it->Kind == TLineKind::Section) {
      section = std::move(sectionName);
      firstOfItsName = file.FSectionEnds.try_emplace(section, it).second;
    } else if (it->Kind == TLineKind::Entry) {
      file.FEntries.try_emplace(EntryId(section, it->Key), it);
      if (firstOfItsName) file.FSectionEnds[section] = it;
    }
  }
  return file;
}

TIniFile TIniFile::Load(const std::filesystem::path& FileName) {
  const TBoundedRead read = ReadBoundedFile(FileName, MaxFileSize);
  auto cannot = [&](const std::string& Reason) {
    return TIniFileError("Cannot read \"" + FileName.string() + "\": " + Reason);
  };
  switch (read.Status) {
    case TBoundedReadStatus::Ok: return FromText(read.Bytes);
    case TBoundedReadStatus::NotFound: return {};
    case TBoundedReadStatus::Folder: throw cannot("it is a folder");
    case TBoundedReadStatus::NotRegular: throw cannot("it is not a regular file");  // a pipe would block
    case TBoundedReadStatus::TooLarge: throw cannot("the file is too large for a settings file");
    case TBoundedReadStatus::CannotOpen:
    case TBoundedReadStatus::ReadError: break;
  }
  throw cannot(std::strerror(read.Error));
}

std::optional<std::string> TIniFile::ReadString(std::string_view Section, std::string_view Key) const {
  const auto it = FEntries.find(EntryId(Section, Key));
  if (it == FEntries.end()) return std::nullopt;
  return it->second->Value;
}

void TIniFile::WriteString(std::string_view Section, std::string_view Key, std::string_view Value) {
  std::string value(Trim(Value));
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';

  std::string id = EntryId(Section, Key);
  if (const auto found = FEntries.find(id); found != FEntries.end()) {
    TLine& line = *found->second;  // the key keeps the spelling of the file
    line.Raw = line.Key + "=" + value;
    line.Value = std::move(value);
    return;
  }

  TLine entry{TLineKind::Entry, std::string(Key) + "=" + value, std::string(Key), value};
  std::string section = Lower(Section);
  if (const auto end = FSectionEnds.find(section); end != FSectionEnds.end()) {
    // After the last entry (or the header) of the first section of that name.
    const auto it = FLines.insert(std::next(end->second), std::move(entry));
    end->second = it;
    FEntries.emplace(std::move(id), it);
    return;
  }

  // A new section at the end, set off by a blank line.
  if (!FLines.empty() && !Trim(FLines.back().Raw).empty()) FLines.emplace_back();
  FLines.push_back(TLine{TLineKind::Section, "[" + std::string(Section) + "]", "", ""});
  const auto it = FLines.insert(FLines.end(), std::move(entry));
  FSectionEnds.emplace(std::move(section), it);
  FEntries.emplace(std::move(id), it);
}

std::string TIniFile::Text() const {
  std::string text = FByteOrderMark ? "\xEF\xBB\xBF" : "";
  for (const auto& line : FLines) {
    text += line.Raw;
    text += FLineEnd;
  }
  return text;
}

void TIniFile::Save(const std::filesystem::path& FileName) const { TAtomicFile::Write(FileName, Text()); }
