#include "room/TRoomRating.h"

#include <array>

#include "io/UILanguage.h"

namespace {

struct TRoomInfo {
  std::string_view ListText;
  std::string_view PanelText;
  std::string_view Key;
  int SweepSec;
};

constexpr std::array<TRoomInfo, RoomTypeCount> kRooms{{
    {"Studio", "Music Studio", "studio", 7},
    {"Home Cinema / HiFi", "Home Cinema / Audio", "homecinema", 7},
    {"Conf. room", "Conference room", "conference", 10},
    {"Concert hall", "Concert hall", "concert", 20},
    {"Lecture hall", "Lecture hall", "lecture", 15},
    {"Classroom", "Classroom", "classroom", 10},
    {"Church", "Church", "church", 30},
}};

// Target ranges per room type, in this column order: RT60 min/max, EDT min/max, ts min/max (ms),
// C80 min/max, C50 min/max (dB). 999 and 9999 stand for "no upper limit".
constexpr std::array<std::array<float, 10>, RoomTypeCount> kTargets{{
    {0.15f, 0.3f, 0.15f, 0.25f, 0, 50, 6, 999, 8, 999},
    {0.3f, 0.6f, 0.3f, 0.6f, 0, 100, 2, 999, 4, 999},
    {0.3f, 0.5f, 0.3f, 0.5f, 50, 100, 1, 5, 4, 8},
    {1.2f, 2.2f, 0.8f, 1.5f, 100, 200, -2, 2, 2, 5},
    {0.6f, 0.8f, 0.6f, 1.0f, 80, 150, -1, 2, 2, 5},
    {0.4f, 0.6f, 0.35f, 0.6f, 50, 100, 0, 4, 3, 6},
    {2.3f, 6.0f, 2.0f, 6.0f, 150, 9999, -5, 0, -15, -5},
}};

// Order in which the room-character panels are tested.
constexpr std::array<tRooms, RoomTypeCount> kCharacterOrder{
    Room_Studio, Room_HomeCinema, Room_Konzertsaal, Room_Kirche,
    Room_Klassenzimmer, Room_Konferenzzimmer, Room_Hörsaal};

bool ValidRoom(int Room) { return Room >= 0 && Room < RoomTypeCount; }

// Column of a criterion's minimum in the target table, -1 for anything else.
int TargetColumn(int Criterion) {
  switch (Criterion) {
    case 1: return 0;  // RT60
    case 2: return 2;  // EDT
    case 3: return 8;  // C50
    case 4: return 6;  // C80
    case 5: return 4;  // ts
    default: return -1;
  }
}

double CriterionValue(const tMessdatensatz& Average, bool boT30, int Criterion) {
  switch (Criterion) {
    case 1: return boT30 ? Average.T30_sec : Average.T20_sec;
    case 2: return Average.EDT_sec;
    case 3: return Average.C50_dB;
    case 4: return Average.C80_dB;
    default: return Average.ts_ms;
  }
}

}  // namespace

std::string TRatingText::Text() const { return Id == 0 ? std::string() : Translate(English, Id); }

std::string_view TRoomRating::RoomListText(int Room) { return ValidRoom(Room) ? kRooms[Room].ListText : ""; }
std::string_view TRoomRating::RoomPanelText(int Room) { return ValidRoom(Room) ? kRooms[Room].PanelText : ""; }
std::string_view TRoomRating::RoomKey(int Room) { return ValidRoom(Room) ? kRooms[Room].Key : ""; }

int TRoomRating::RoomFromKey(std::string_view Key) {
  for (int i = 0; i < RoomTypeCount; ++i)
    if (kRooms[i].Key == Key) return i;
  return -1;
}

int TRoomRating::SweepDauerSec(int Room) { return ValidRoom(Room) ? kRooms[Room].SweepSec : 7; }

bool TRoomRating::RoomRange(int Criterion, int Room, float& Min, float& Max) {
  Min = Max = 0;
  const int col = TargetColumn(Criterion);
  if (col < 0 || !ValidRoom(Room)) return false;
  Min = kTargets[Room][col];
  Max = kTargets[Room][col + 1];
  return true;
}

bool TRoomRating::RoomRangeTest(const tMessdatensatz& Average, bool boT30, int Criterion, int Room) {
  if (!ValidRoom(Room)) return false;
  if (Criterion == 0) {
    for (int c = 1; c <= 5; ++c)
      if (!RoomRangeTest(Average, boT30, c, Room)) return false;
    return true;
  }
  float lo = 0, hi = 0;
  if (!RoomRange(Criterion, Room, lo, hi)) return false;
  const double v = CriterionValue(Average, boT30, Criterion);
  return v >= static_cast<double>(lo) && v <= static_cast<double>(hi);
}

TRatingText TRoomRating::RatingRT60(double RT60_sec) {
  if (RT60_sec < 0.25) return {529, "very dry"};
  if (RT60_sec < 0.45) return {530, "dry"};
  if (RT60_sec < 0.7) return {534, "sounds pleasant"};
  if (RT60_sec < 1.2) return {532, "echoey"};
  return {533, "very echoey"};
}

TRatingText TRoomRating::RatingEDT(double EDT_sec, double RT60_sec) {
  // An EDT of exactly 1.3 times the RT60 falls between the texts and shows none.
  if (EDT_sec < 0.7 * RT60_sec) return {535, "Room feels drier"};
  if (EDT_sec < 1.3 * RT60_sec) return {536, "Even reverberation"};
  if (EDT_sec > 1.3 * RT60_sec) return {537, "The room sounds more reverberant than RT60 would suggest."};
  return {};
}

TRatingText TRoomRating::RatingC50(double C50_dB) {
  if (C50_dB < -5) return {541, "very poor"};
  if (C50_dB < -2) return {542, "poor"};
  if (C50_dB < 0) return {543, "moderately"};
  if (C50_dB < 2) return {544, "usable"};
  if (C50_dB < 5) return {545, "good"};
  return {546, "very good"};
}

TRatingText TRoomRating::RatingC80(double C80_dB) {
  if (C80_dB < -2) return {533, "very echoey"};
  if (C80_dB < 0) return {538, "sounds soft"};
  if (C80_dB < 2) return {539, "sounds balanced"};
  if (C80_dB < 6) return {540, "sounds clear"};
  return {529, "very dry"};
}

TRatingText TRoomRating::RatingTs(double ts_ms) {
  if (ts_ms < 25) return {529, "very dry"};
  if (ts_ms < 50) return {530, "dry"};
  if (ts_ms < 100) return {531, "neutral"};
  if (ts_ms < 150) return {532, "echoey"};
  return {533, "very echoey"};
}

std::vector<tRooms> TRoomRating::RoomRatingOk(const tMessdatensatz& Average, bool boT30) {
  std::vector<tRooms> ok;
  for (tRooms room : kCharacterOrder)
    if (RoomRangeTest(Average, boT30, 0, room)) ok.push_back(room);
  return ok;
}

bool TRoomRating::Homogeneous(const tMessdatensatz& Average, bool boT30) {
  const float rtDev = boT30 ? Average.T30_Stddev : Average.T20_Stddev;
  return static_cast<double>(rtDev) < 0.1 && Average.C80_Stddev <= 1.0f;
}

TRoomRatingResult TRoomRatingResult::Rate(const tMessdatensatz& Average, bool boT30, int Room) {
  TRoomRatingResult r;
  const double rt60 = boT30 ? Average.T30_sec : Average.T20_sec;
  r.RT60 = TRoomRating::RatingRT60(rt60);
  r.EDT = TRoomRating::RatingEDT(Average.EDT_sec, rt60);
  r.C50 = TRoomRating::RatingC50(Average.C50_dB);
  r.C80 = TRoomRating::RatingC80(Average.C80_dB);
  r.ts = TRoomRating::RatingTs(Average.ts_ms);
  r.RT60_ok = TRoomRating::RoomRangeTest(Average, boT30, 1, Room);
  r.EDT_ok = TRoomRating::RoomRangeTest(Average, boT30, 2, Room);
  r.C50_ok = TRoomRating::RoomRangeTest(Average, boT30, 3, Room);
  r.C80_ok = TRoomRating::RoomRangeTest(Average, boT30, 4, Room);
  r.ts_ok = TRoomRating::RoomRangeTest(Average, boT30, 5, Room);
  r.RoomCharacter = TRoomRating::RoomRatingOk(Average, boT30);
  r.Homogeneous = TRoomRating::Homogeneous(Average, boT30);
  return r;
}
