#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A list as it is shown: column captions, and rows of a caption, sub-items and a check state.
struct TListRow {
  std::string Caption;
  std::vector<std::string> SubItems;
  bool Checked = false;
};

struct TListTable {
  std::vector<std::string> Columns;
  std::vector<TListRow> Rows;
  bool ReportView = true;  // the list shows columns (the only view that can be exported)
  bool CheckBoxes = true;  // rows carry check boxes; without them every row is exported
};

class TCSVError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A field as the CSV file holds it: between double quotes, inner quotes doubled, when it contains the
// separator, a double quote, a CR or an LF; otherwise unchanged, blanks at either end included.
std::string QuoteCSVField(std::string_view Text, std::string_view Separator);

// The file's text: UTF-8 byte-order mark, the column captions, then one line per checked row (every row
// of a list without check boxes): its caption and its sub-items. Fields are joined by the separator, every
// line ends with CR LF. Throws TCSVError "ListView muss in Report-Ansicht sein." for a list that does not
// show columns.
std::string ListViewToCSVText(const TListTable& List, std::string_view Separator);

// Writes that text to the file (created or replaced as a whole; a failure leaves an existing file as it
// was). Throws TCSVError.
void ListViewToCSV(const TListTable& List, const std::filesystem::path& FileName, std::string_view Separator);
