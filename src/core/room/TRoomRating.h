#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "room/tMessdatensatz.h"
#include "room/tRooms.h"

// One explanatory text of the rating: its English wording and its id in the language file. Id 0 with an
// empty text means "no text".
struct TRatingText {
  int Id = 0;
  std::string_view English;
  // The text in the interface language.
  std::string Text() const;
  bool operator==(const TRatingText&) const = default;
};

// Judgement of an average against the target ranges of a room type, and the words that explain each value
// independently of the room type.
//
// Criteria (RoomRangeTest, RoomRange): 0 = all five, 1 = RT60 (T30 or T20 by the decay basis), 2 = EDT,
// 3 = C50, 4 = C80, 5 = ts.
class TRoomRating {
public:
  // Text of the room-type list ("Studio", "Home Cinema / HiFi", ...), of the room-character panel
  // ("Music Studio", ...) and the short key the command line uses ("studio", ...). Any other value:
  // empty texts.
  static std::string_view RoomListText(int Room);
  static std::string_view RoomPanelText(int Room);
  static std::string_view RoomKey(int Room);
  // The room type of a command-line key, -1 if there is none.
  static int RoomFromKey(std::string_view Key);

  // Whole seconds of the measuring sweep for a room type; 7 for any value out of range.
  static int SweepDauerSec(int Room);

  // True when the criterion of the average lies within the room type's range, both limits inclusive.
  // The limits are single-precision values and are compared as such, so 0.15 s exactly lies just below
  // a lower limit of 0.15. An unknown criterion or room type: false.
  static bool RoomRangeTest(const tMessdatensatz& Average, bool boT30, int Criterion, int Room);
  // Minimum and maximum of one criterion (1 ... 5) for a room type; false (and 0, 0) for other values.
  static bool RoomRange(int Criterion, int Room, float& Min, float& Max);

  // The five single-value texts.
  static TRatingText RatingRT60(double RT60_sec);
  static TRatingText RatingEDT(double EDT_sec, double RT60_sec);
  static TRatingText RatingC50(double C50_dB);
  static TRatingText RatingC80(double C80_dB);
  static TRatingText RatingTs(double ts_ms);

  // Room types whose every range the average meets, in the order Studio, Home cinema, Concert hall,
  // Church, Classroom, Conference room, Lecture hall.
  static std::vector<tRooms> RoomRatingOk(const tMessdatensatz& Average, bool boT30);
  // The selected measurements agree: standard deviation of the RT60 in force below 0.1 s and of C80 at
  // most 1.0 dB.
  static bool Homogeneous(const tMessdatensatz& Average, bool boT30);
};

// Everything the rating tab shows for one average, in the order it is computed.
struct TRoomRatingResult {
  TRatingText RT60, EDT, C50, C80, ts;
  bool RT60_ok = false, EDT_ok = false, C50_ok = false, C80_ok = false, ts_ok = false;
  std::vector<tRooms> RoomCharacter;
  bool Homogeneous = false;

  static TRoomRatingResult Rate(const tMessdatensatz& Average, bool boT30, int Room);
};
