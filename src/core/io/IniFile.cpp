#include "io/IniFile.h"

#include "io/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>

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

bool SameName(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i)
    if (LowerAscii(A[i]) != LowerAscii(B[i])) return false;
  return true;
}

std::string EntryId(std::string_view Section, std::string_view Key) {
  std::string id;
  id.reserve(Section.size() + Key.size() + 1);
  for (char c : Section) id += LowerAscii(c);
  id += '\n';
  for (char c : Key) id += LowerAscii(c);
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

  std::string section;
  std::size_t pos = 0;
  while (pos < Text.size()) {
    std::size_t end = Text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = Text.size();
    TLine line;
    line.Raw = std::string(Text.substr(pos, end - pos));
    pos = end;
    if (pos < Text.size()) pos += (Text.substr(pos, 2) == "\r\n") ? 2 : 1;

    const std::string_view trimmed = Trim(line.Raw);
    const std::size_t close = trimmed.find(']');
    if (!trimmed.empty() && trimmed.front() == '[' && close != std::string_view::npos) {
      line.Kind = TLineKind::Section;
      section = std::string(Trim(trimmed.substr(1, close - 1)));
    } else if (!trimmed.empty() && trimmed.front() != ';' && trimmed.front() != '#') {
      const std::size_t eq = trimmed.find('=');
      if (eq != std::string_view::npos && !Trim(trimmed.substr(0, eq)).empty()) {
        line.Kind = TLineKind::Entry;
        line.Key = std::string(Trim(trimmed.substr(0, eq)));
        line.Value = std::string(Trim(trimmed.substr(eq + 1)));
      }
    }
    line.Section = section;
    file.FLines.push_back(std::move(line));
  }
  return file;
}

TIniFile TIniFile::Load(const std::filesystem::path& FileName) {
  std::error_code ec;
  if (!std::filesystem::exists(FileName, ec) && !ec) return {};
  auto cannot = [&](const std::string& Reason) {
    return TIniFileError("Cannot read \"" + FileName.string() + "\": " + Reason);
  };
  if (std::filesystem::is_directory(FileName, ec)) throw cannot("it is a folder");
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw cannot(std::strerror(errno));
  std::string text;
  char buf[65536];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    text.append(buf, static_cast<std::size_t>(in.gcount()));
    if (text.size() > MaxFileSize) throw cannot("the file is too large for a settings file");
  }
  if (in.bad()) throw cannot(std::strerror(errno));
  return FromText(text);
}

std::size_t TIniFile::FindEntry(std::string_view Section, std::string_view Key) const {
  if (!FIndexValid) {
    FIndex.clear();
    for (std::size_t i = 0; i < FLines.size(); ++i)
      if (FLines[i].Kind == TLineKind::Entry) FIndex.emplace(EntryId(FLines[i].Section, FLines[i].Key), i);
    FIndexValid = true;
  }
  const auto it = FIndex.find(EntryId(Section, Key));
  return it == FIndex.end() ? std::string::npos : it->second;
}

std::optional<std::string> TIniFile::ReadString(std::string_view Section, std::string_view Key) const {
  const std::size_t i = FindEntry(Section, Key);
  if (i == std::string::npos) return std::nullopt;
  return FLines[i].Value;
}

void TIniFile::WriteString(std::string_view Section, std::string_view Key, std::string_view Value) {
  std::string value(Trim(Value));
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';

  if (const std::size_t i = FindEntry(Section, Key); i != std::string::npos) {
    TLine& line = FLines[i];
    line.Raw = line.Key + "=" + value;
    line.Value = std::move(value);
    return;
  }

  TLine entry;
  entry.Kind = TLineKind::Entry;
  entry.Key = std::string(Key);
  entry.Value = value;
  entry.Raw = entry.Key + "=" + value;

  // After the last entry (or the header) of the first section of that name.
  std::size_t insertAt = FLines.size();
  bool inSection = false;
  for (std::size_t i = 0; i < FLines.size(); ++i) {
    const TLine& line = FLines[i];
    if (line.Kind == TLineKind::Section) {
      if (inSection) break;
      if (SameName(line.Section, Section)) {
        inSection = true;
        insertAt = i + 1;
        entry.Section = line.Section;
      }
    } else if (inSection && line.Kind == TLineKind::Entry) {
      insertAt = i + 1;
    }
  }
  // The index stays valid: lines from insertAt on move down by one, and the new entry is the first of
  // its name (none was found above).
  auto addToIndex = [this](std::size_t At, const TLine& Line) {
    if (!FIndexValid) return;
    for (auto& [id, index] : FIndex)
      if (index >= At) ++index;
    FIndex.emplace(EntryId(Line.Section, Line.Key), At);
  };
  if (inSection) {
    addToIndex(insertAt, entry);
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
    return;
  }

  // A new section at the end, set off by a blank line.
  if (!FLines.empty() && !Trim(FLines.back().Raw).empty()) FLines.push_back(TLine{TLineKind::Other, "", FLines.back().Section, "", ""});
  TLine header;
  header.Kind = TLineKind::Section;
  header.Section = std::string(Section);
  header.Raw = "[" + header.Section + "]";
  entry.Section = header.Section;
  FLines.push_back(std::move(header));
  addToIndex(FLines.size(), entry);
  FLines.push_back(std::move(entry));
}

std::string TIniFile::Text() const {
  std::string text = FByteOrderMark ? "\xEF\xBB\xBF" : "";
  for (const auto& line : FLines) text += line.Raw + FLineEnd;
  return text;
}

void TIniFile::Save(const std::filesystem::path& FileName) const { TAtomicFile::Write(FileName, Text()); }
