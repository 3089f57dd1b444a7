// The German language file shipped in data/ against the program's English texts.
#include "io/TextDecoding.h"
#include "io/UILanguage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace {

const std::string kGermanFile = std::string(VEMRA_FIXTURES_DIR) + "/../../data/" + kLanguageFileName;

struct TText {
  int Id;
  const char* English;
};

// Messages: several are joined with a name or number after them, so a trailing blank matters.
const TText kMessages[] = {
    {114, "System calibration finished."},
    {115, "Function not available"},
    {116, "Mic correction file 0°: Data delemiter char invalid. Function disabled"},
    {117, "Mic correction file 0° invalid. Function disabled. File:"},
    {118, "Mic correction file 0° not found. Function disabled. File:"},
    {119, "Mic correction file 90°:  Delemiter invalid. Function disabled, File: "},
    {120, "Mic correction file 90° invalid. Function disabled. File: "},
    {121, "Mic correction file 90° not found. Function disabled. File: "},
    {122, "Chart saved: "},
    {123, "Chart saved as PDF: "},
    {125, "Select another audio interface. Interface not connected or sample rate 48kHz not supported!"},
    {126, "Chart copied to clipboard."},
    {127, "No ASIO Driver present! Application Terminated!"},
    {128, "Select an audio interface."},
    {129, "Last interface <"},
    {130, "> not found. Select a new audio interface."},
    {140, "For best performace set ASIO buffer to "},
    {141, "Audio interface issue! Please check connection."},
    {142, "Delta = (Signal - Noise floor) to low. Or wrong audio interface input selected. RT60 measurement "
          "ignored!, Delta(dB)= "},
    {156, "Measurements not saved! Close module?"},
    {157, "Clear data?"},
    {253, "Error frequency input. Only numeric values."},
    {323, "wait..."},
    {324, "Select first an item from column input."},
    {325, "Input non existant at current audio interface!"},
    {327, "Error: Numeric value required!"},
    {328, "Level ok. Start calibration."},
    {329, "Audio interface not connected! "},
    {337, "Audio interface calibration file missed! Function disabled."},
    {406, "Memory A not assigned"},
    {407, "Memory B not assigned"},
    {408, "Memory C not assigned"},
    {409, "Memory A"},
    {410, "Memory B"},
    {411, "Memory C"},
    {412, "All"},
    {413, "To paste data stop RTA first!"},
    {414, "1/Octave setting of memory different to target chart! Use \"All\" instead a single channel or start RTA "
          "with matching octave setup and re-try."},
    {529, "very dry"},
    {530, "dry"},
    {531, "neutral"},
    {532, "echoey"},
    {533, "very echoey"},
    {534, "sounds pleasant"},
    {535, "Room feels drier"},
    {536, "Even reverberation"},
    {537, "The room sounds more reverberant than RT60 would suggest."},
    {538, "sounds soft"},
    {539, "sounds balanced"},
    {540, "sounds clear"},
    {541, "very poor"},
    {542, "poor"},
    {543, "moderately"},
    {544, "usable"},
    {545, "good"},
    {546, "very good"},
    {547, "Sweep level"},
    {582, "Audio interface not connected! Close RT60 module."},
    {585, "good"},
    {586, "Save Room Report as PDF"},
    {587, "Note to item "},
    {588, "Input"},
    {589, "Item:"},
    {590, "Comment to measurement "},
    {591, "Room acoustic analysis"},
    {600, "No RT60 data found!"},
    {601, "File version wrong / no RT60 data"},
    {602, "Abort: No measurement data found!"},
    {603, "Abort: No measurement data to save!"},
    {604, "CSV file saved."},
    {605, "Error saving CSV file!"},
    {606, "Delete measurement #"},
    {607, "FR3 Template not found!"},
    {608, "Current data will be deleted! Do you agree?"},
    {609, "Note: Open File dialouge uses now the new frequency band."},
    {610, "Select first a measurement."},
    {704, "A-weighting is off but needed for Lex,8h measurement! Select in RTA module A-weigthing first."},
};

// Window components by tag (the English caption they carry when no German texts are loaded).
const TText kComponents[] = {
    // main window
    {101, "File"}, {102, "Open"}, {103, "Save"}, {104, "Octave"}, {105, "Speed"}, {106, "Function"},
    {107, "Presets"}, {108, "Bar char format"}, {109, "ASIO Buffer Size"}, {110, "Audio interface"},
    {111, "Channel level"}, {131, "PDF Export"}, {132, "Print"}, {133, "Clipboard"}, {134, "Quit"},
    {135, "Help"}, {136, "Help (Web)"}, {137, "Info"}, {146, "Assign channel 1..4 to input"},
    {147, "Load sound profile (Ch1)"}, {148, "Unit"}, {149, "ASIO Control..."}, {150, "xy Default"},
    {151, "Transparency on"}, {152, "Transparency off"}, {153, "Reset"}, {154, "All Ch Offset 0"},
    {155, "Save as sound profile (Ch1)"},
    // generator
    {254, "Sine"},
    // setup window, in the order of its pages
    {300, "Mic. response"}, {301, "Cal. system"}, {302, "Your logo"}, {303, "Change file 0°"},
    {304, "Change file >0°"}, {305, "Remove file 0°"}, {306, "Remove file >0°"}, {307, "Mic SPL"},
    {308, "Calibrate your audio interface "},
    {309, "Connect audio interface input 1 directly with output 1 (cable loop). Set input and output gain to your "
          "default settings "},
    {310, "1) Check level"}, {311, "Level?"}, {312, "Adjust level until green"}, {313, "2) Start calibration"},
    {314, "After start wait for completion message."},
    {315, "3) Activate audio interface calibration. Note: Repeat the procedure when you change the interface."},
    {316, "Use calibration data"}, {317, "File for interface input (use popup menu to modify)"},
    {318, "Correction"}, {319, "Adjust microphone SPL level"},
    {320, "1) Put the mic in the calibrator, level 94dB.  Select below the matching interface  input (column "
          "\"Input\")."},
    {321, "2) Press \"Start\" to measure offset."}, {322, "3) Apply offset to table"}, {330, "Apply"},
    {331, "Your logo for PDF reports"}, {332, "Image..."}, {333, "Delete"}, {334, "File:"},
    {335, "Select image, size  3.4cm x 1.2cm"},
    {336, "Note: Press \"Save\" to leave setup and store the changes."}, {338, "Leq "},
    {339, "Choose Leq type to display in RTA chart and YT module."}, {340, "Leq type:"},
    {341, "Running Leq (Interval minutes)"},
    {342, "Note: View Lex,8h only in LOGGER module. If selected, measurements in RTA chart shows Leq."},
    // copy & paste manager
    {400, "Memory"}, {401, "Channel"}, {402, "Chart channel"}, {403, "Target"}, {404, "Source"}, {405, "Paste"},
    // room window (550, 552 and 554 are explanatory texts of the rating tab and the measurement list)
    {501, "Music Studio"}, {502, "Conference room"}, {503, "Concert hall"}, {504, "Lecture hall"},
    {505, "Home Cinema / Audio"}, {506, "Church"}, {507, "Classroom"}, {508, "Reverberation time"},
    {509, "Objective Clarity  Speech"}, {510, "Objective Clarity Music"}, {511, "Early Decay Time"},
    {512, "Center Time"}, {513, "Room type / Sweep duration*"}, {514, "Meas. range"}, {515, "RT60 source*"},
    {516, "Input"}, {518, "Start"}, {519, "Parameter"}, {521, "Preview"}, {522, "Save"}, {524, "Meas."},
    {528, "homogeneity"}, {547, "Sweep Level"}, {548, "Measure"}, {549, "Selected room type:"},
    {550, "rating explanation"}, {551, "Measuresd room paramater matching to green tagged room types."},
    {552, "homogeneity explanation"}, {553, "Homogenity rating"}, {554, "measurement list instruction"},
    {555, "Compare"}, {556, "Type"}, {557, "Measure"}, {558, "Rating"}, {559, "Note"}, {560, "Assessment"},
    {561, "Measure"}, {562, "Select report type"}, {563, "Report title"}, {564, "Notes"},
    {565, "Room dimension"}, {566, "Temp / Humidity"}, {567, "Report Date"}, {568, "Author"},
    {571, "Select all items"}, {572, "Deselect all items"}, {573, "Note to selected item"},
    {575, "Meaning of measured value"}, {576, "Rating value vs select room"}, {577, "Delete item"},
    {578, "Clear all items"}, {579, "Show all"}, {580, "Show selected"}, {583, "Type(f)"}, {584, "Meas(f)"},
    {592, "Mic-Position"}, {593, "Delete selected item"}, {595, "Room character"}, {702, "Clipboard"},
    // logger
    {703, "Clear"},
    // microphone position window
    {800, "1) Input room size"}, {801, "Width(m)"}, {802, "Depth(m)"}, {803, "Height(m)"},
    {804, "2) Input RT60 (T20, T30)"}, {805, "Read T20"}, {806, "Note: Read T20 ave. from measurement page."},
    {807, "3) Calculate distance"}, {808, "Min distance mic to loudspeaker"}, {809, "Calculation"},
    {810, "Note: Room size will be copied to PDF Report page."},
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(GermanTexts, EveryMessageAndCaptionHasAGermanText) {
  const TUILanguage german = TUILanguage::Parse(ReadAll(kGermanFile));
  ASSERT_GT(german.Count(), 0u) << kGermanFile;
  const std::set<int> sameInGerman{137, 518, 519, 531};  // "Info", "Start", "Parameter", "neutral"
  for (const std::span<const TText> table : {std::span<const TText>(kMessages), std::span<const TText>(kComponents)}) {
    for (const TText& t : table) {
      const std::string* text = german.Find(t.Id);
      ASSERT_NE(text, nullptr) << t.Id << " " << t.English;
      EXPECT_FALSE(text->empty()) << t.Id;
      EXPECT_NE(*text, std::to_string(t.Id)) << t.Id;
      if (!sameInGerman.count(t.Id)) {
        EXPECT_NE(*text, t.English) << t.Id << ": still English";
      }
      EXPECT_EQ(text->find_first_of("\r\t"), std::string::npos) << t.Id;
    }
  }
}

TEST(GermanTexts, MessagesThatAreJoinedKeepTheirTrailingBlank) {
  const TUILanguage german = TUILanguage::Parse(ReadAll(kGermanFile));
  for (const TText& t : kMessages) {
    const std::string english = t.English;
    const std::string* text = german.Find(t.Id);
    ASSERT_NE(text, nullptr) << t.Id;
    if (english.ends_with(' ')) {
      EXPECT_TRUE(text->ends_with(' ')) << t.Id << ": \"" << *text << "\"";
    }
  }
  // The interface name goes between these two.
  EXPECT_TRUE(german.Find(129)->ends_with('<'));
  EXPECT_TRUE(german.Find(130)->starts_with('>'));
}

TEST(GermanTexts, FileHoldsOnlyKnownIdsInCleanUtf8Lines) {
  const std::string bytes = ReadAll(kGermanFile);
  EXPECT_TRUE(IsValidUtf8(bytes));
  EXPECT_FALSE(bytes.starts_with("\xEF\xBB\xBF"));
  std::set<int> known;
  for (const std::span<const TText> table : {std::span<const TText>(kMessages), std::span<const TText>(kComponents)}) {
    for (const TText& t : table) known.insert(t.Id);
  }
  std::set<int> seen;
  std::size_t start = 0;
  int lineNo = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    const std::size_t underscore = line.find('_');
    ASSERT_NE(underscore, std::string::npos) << "line " << lineNo << ": " << line;
    const int id = std::stoi(line.substr(0, underscore));
    EXPECT_EQ(line.substr(0, underscore), std::to_string(id)) << "line " << lineNo;
    EXPECT_TRUE(known.count(id)) << "line " << lineNo << ": unknown id " << id;
    EXPECT_TRUE(seen.insert(id).second) << "line " << lineNo << ": id " << id << " twice";
  }
  EXPECT_EQ(seen, known);
}

TEST(GermanTexts, LoadedFileTranslatesMessagesAndCaptions) {
  ResetLanguageTexts();
  ASSERT_TRUE(LoadLanguageFile(kGermanFile, true));
  EXPECT_EQ(Translate("System calibration finished.", 114), "Systemkalibrierung abgeschlossen.");
  EXPECT_EQ(Translate("Last interface <", 129) + "Scarlett" + Translate("> not found. Select a new audio interface.", 130),
            "Zuletzt verwendetes Audio-Interface <Scarlett> nicht gefunden. Bitte ein neues Audio-Interface wählen.");
  EXPECT_EQ(Translate("Fehler", 999), "Fehler");  // no such id: English stays
  const std::vector<TTaggedCaption> micPosition{{800, "1) Input room size"}, {803, "Height(m)"}, {-1, "m"}};
  EXPECT_EQ(ApplyLanguage(micPosition), (std::vector<std::string>{"1) Raumgröße eingeben", "Höhe(m)", "m"}));
  ResetLanguageTexts();
}
