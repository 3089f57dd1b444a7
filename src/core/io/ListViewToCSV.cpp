#include "io/ListViewToCSV.h"

#include "io/AtomicFile.h"

std::string QuoteCSVField(std::string_view Text, std::string_view Separator) {
  const bool quote = (!Separator.empty() && Text.find(Separator) != std::string_view::npos) ||
                     Text.find_first_of("\"\r\n") != std::string_view::npos;
  if (!quote) return std::string(Text);
  std::string out;
  out.reserve(Text.size() + 2);
  out += '"';
  for (char c : Text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string ListViewToCSVText(const TListTable& List, std::string_view Separator) {
  if (!List.ReportView) throw TCSVError("ListView muss in Report-Ansicht sein.");
  std::string text = "\xEF\xBB\xBF";
  for (std::size_t i = 0; i < List.Columns.size(); ++i) {
    if (i > 0) text += Separator;
    text += QuoteCSVField(List.Columns[i], Separator);
  }
  text += "\r\n";
  for (const TListRow& row : List.Rows) {
    if (List.CheckBoxes && !row.Checked) continue;
    text += QuoteCSVField(row.Caption, Separator);
    for (const std::string& sub : row.SubItems) {
      text += Separator;
      text += QuoteCSVField(sub, Separator);
    }
    text += "\r\n";
  }
  return text;
}

void ListViewToCSV(const TListTable& List, const std::filesystem::path& FileName, std::string_view Separator) {
  const std::string text = ListViewToCSVText(List, Separator);
  try {
    TAtomicFile::Write(FileName, text);
  } catch (const TAtomicFileError& e) {
    throw TCSVError(e.what());
  }
}
