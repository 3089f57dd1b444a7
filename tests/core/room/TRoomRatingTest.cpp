#include <gtest/gtest.h>

#include <cmath>

#include "room/CriticalDistance.h"
#include "room/TRoomRating.h"

namespace {

tMessdatensatz Average(double T20, double T30, double EDT, double C50, double C80, double ts) {
  tMessdatensatz a;
  a.T20_sec = T20;
  a.T30_sec = T30;
  a.EDT_sec = EDT;
  a.C50_dB = C50;
  a.C80_dB = C80;
  a.ts_ms = ts;
  return a;
}

}  // namespace

TEST(RoomRating, TextBoundariesAreExclusiveUpperBounds) {
  struct Case {
    const char* What;
    TRatingText Got;
    int Id;
    const char* Text;
  };
  const Case cases[] = {
      {"RT60 0.2499", TRoomRating::RatingRT60(0.2499), 529, "very dry"},
      {"RT60 0.25", TRoomRating::RatingRT60(0.25), 530, "dry"},
      {"RT60 0.45", TRoomRating::RatingRT60(0.45), 534, "sounds pleasant"},
      {"RT60 0.7", TRoomRating::RatingRT60(0.7), 532, "echoey"},
      {"RT60 1.2", TRoomRating::RatingRT60(1.2), 533, "very echoey"},
      {"EDT 0.69 of 1", TRoomRating::RatingEDT(0.69, 1.0), 535, "Room feels drier"},
      {"EDT 0.7 of 1", TRoomRating::RatingEDT(0.7, 1.0), 536, "Even reverberation"},
      {"EDT 1.3 of 1", TRoomRating::RatingEDT(1.3, 1.0), 0, ""},
      {"EDT 1.31 of 1", TRoomRating::RatingEDT(1.31, 1.0), 537,
       "The room sounds more reverberant than RT60 would suggest."},
      {"C50 -5.01", TRoomRating::RatingC50(-5.01), 541, "very poor"},
      {"C50 -5", TRoomRating::RatingC50(-5), 542, "poor"},
      {"C50 -2", TRoomRating::RatingC50(-2), 543, "moderately"},
      {"C50 0", TRoomRating::RatingC50(0), 544, "usable"},
      {"C50 2", TRoomRating::RatingC50(2), 545, "good"},
      {"C50 5", TRoomRating::RatingC50(5), 546, "very good"},
      {"C80 -2.01", TRoomRating::RatingC80(-2.01), 533, "very echoey"},
      {"C80 -2", TRoomRating::RatingC80(-2), 538, "sounds soft"},
      {"C80 0", TRoomRating::RatingC80(0), 539, "sounds balanced"},
      {"C80 2", TRoomRating::RatingC80(2), 540, "sounds clear"},
      {"C80 6", TRoomRating::RatingC80(6), 529, "very dry"},
      {"ts 24.9", TRoomRating::RatingTs(24.9), 529, "very dry"},
      {"ts 25", TRoomRating::RatingTs(25), 530, "dry"},
      {"ts 50", TRoomRating::RatingTs(50), 531, "neutral"},
      {"ts 100", TRoomRating::RatingTs(100), 532, "echoey"},
      {"ts 150", TRoomRating::RatingTs(150), 533, "very echoey"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.Got.Id, c.Id) << c.What;
    EXPECT_EQ(c.Got.English, c.Text) << c.What;
  }
}

TEST(RoomRating, RangeTestComparesAgainstSinglePrecisionLimits) {
  // 0.25 s lies inside Studio's 0.15 ... 0.3 s. 0.3 lies below the float 0.3 (0.30000001...), 0.15 lies
  // below the float 0.15 (0.15000000596...) and so outside.
  EXPECT_TRUE(TRoomRating::RoomRangeTest(Average(0.25, 0, 0, 0, 0, 0), false, 1, Room_Studio));
  EXPECT_TRUE(TRoomRating::RoomRangeTest(Average(0.3, 0, 0, 0, 0, 0), false, 1, Room_Studio));
  EXPECT_FALSE(TRoomRating::RoomRangeTest(Average(0.15, 0, 0, 0, 0, 0), false, 1, Room_Studio));
  EXPECT_TRUE(TRoomRating::RoomRangeTest(Average(0.15000001, 0, 0, 0, 0, 0), false, 1, Room_Studio));
  // The basis decides which decay time is RT60.
  EXPECT_FALSE(TRoomRating::RoomRangeTest(Average(0.25, 0.5, 0, 0, 0, 0), true, 1, Room_Studio));
  // Unknown criterion or room type.
  EXPECT_FALSE(TRoomRating::RoomRangeTest(Average(0.25, 0, 0, 0, 0, 0), false, 6, Room_Studio));
  EXPECT_FALSE(TRoomRating::RoomRangeTest(Average(0.25, 0, 0, 0, 0, 0), false, 1, 7));

  float lo = -1, hi = -1;
  EXPECT_TRUE(TRoomRating::RoomRange(3, Room_Kirche, lo, hi));  // C50 of a church
  EXPECT_EQ(lo, -15.0f);
  EXPECT_EQ(hi, -5.0f);
  EXPECT_TRUE(TRoomRating::RoomRange(5, Room_Konzertsaal, lo, hi));  // ts of a concert hall
  EXPECT_EQ(lo, 100.0f);
  EXPECT_EQ(hi, 200.0f);
  EXPECT_TRUE(TRoomRating::RoomRange(4, Room_Hörsaal, lo, hi));  // C80 of a lecture hall
  EXPECT_EQ(lo, -1.0f);
  EXPECT_EQ(hi, 2.0f);
  EXPECT_FALSE(TRoomRating::RoomRange(0, Room_Studio, lo, hi));
  EXPECT_EQ(lo, 0.0f);
}

TEST(RoomRating, RoomCharacterListsEveryMatchingTypeInTestOrder) {
  const tMessdatensatz a = Average(0.45, 0.9, 0.4, 5, 2, 70);
  EXPECT_EQ(TRoomRating::RoomRatingOk(a, false),
            (std::vector<tRooms>{Room_HomeCinema, Room_Klassenzimmer, Room_Konferenzzimmer}));
  // With T30 (0.9 s) as the basis none of them fits any more.
  EXPECT_TRUE(TRoomRating::RoomRatingOk(a, true).empty());
  // A church: T20 3 s, EDT 2.5 s, ts 300 ms, C80 -3 dB, C50 -10 dB.
  EXPECT_EQ(TRoomRating::RoomRatingOk(Average(3, 3, 2.5, -10, -3, 300), false), std::vector<tRooms>{Room_Kirche});
}

TEST(RoomRating, HomogeneityLimits) {
  tMessdatensatz a;
  a.T20_Stddev = 0.1f;
  a.C80_Stddev = 0.0f;
  EXPECT_FALSE(TRoomRating::Homogeneous(a, false));  // 0.1 s is not below 0.1 s
  a.T20_Stddev = 0.05f;
  a.C80_Stddev = 1.0f;
  EXPECT_TRUE(TRoomRating::Homogeneous(a, false));  // 1.0 dB is at most 1.0 dB
  a.C80_Stddev = 1.01f;
  EXPECT_FALSE(TRoomRating::Homogeneous(a, false));
  // The basis picks the deviation of T30.
  a.C80_Stddev = 0.5f;
  a.T30_Stddev = 0.2f;
  EXPECT_TRUE(TRoomRating::Homogeneous(a, false));
  EXPECT_FALSE(TRoomRating::Homogeneous(a, true));
}

TEST(RoomRating, RateFollowsTheBasis) {
  const tMessdatensatz a = Average(0.25, 1.0, 0.2, 9, 7, 20);
  const TRoomRatingResult t20 = TRoomRatingResult::Rate(a, false, Room_Studio);
  EXPECT_EQ(t20.RT60.Id, 530);
  EXPECT_TRUE(t20.RT60_ok);
  EXPECT_TRUE(t20.EDT_ok && t20.C50_ok && t20.C80_ok && t20.ts_ok);
  EXPECT_EQ(t20.EDT.Id, 536);  // 0.2 within 0.7 ... 1.3 of 0.25
  EXPECT_EQ(t20.RoomCharacter, std::vector<tRooms>{Room_Studio});
  const TRoomRatingResult t30 = TRoomRatingResult::Rate(a, true, Room_Studio);
  EXPECT_EQ(t30.RT60.Id, 532);
  EXPECT_FALSE(t30.RT60_ok);
  EXPECT_EQ(t30.EDT.Id, 535);  // 0.2 below 0.7 of 1.0
  EXPECT_TRUE(t30.RoomCharacter.empty());
}

TEST(RoomTypes, SweepDurationsAndKeys) {
  const int expected[] = {7, 7, 10, 20, 15, 10, 30};
  for (int r = 0; r < RoomTypeCount; ++r) {
    EXPECT_EQ(TRoomRating::SweepDauerSec(r), expected[r]) << r;
    EXPECT_EQ(TRoomRating::RoomFromKey(TRoomRating::RoomKey(r)), r);
  }
  EXPECT_EQ(TRoomRating::SweepDauerSec(-1), 7);
  EXPECT_EQ(TRoomRating::SweepDauerSec(7), 7);
  EXPECT_EQ(TRoomRating::RoomFromKey("lecture"), Room_Hörsaal);
  EXPECT_EQ(TRoomRating::RoomFromKey("hall"), -1);
  EXPECT_EQ(TRoomRating::RoomListText(Room_HomeCinema), "Home Cinema / HiFi");
  EXPECT_EQ(TRoomRating::RoomPanelText(Room_HomeCinema), "Home Cinema / Audio");
}

TEST(CriticalDistance, KnownRoomsAndDegenerateInput) {
  const TCriticalDistance d = CriticalDistance(2, 3, 5, 0.5f);  // V = 30 m³
  EXPECT_NEAR(d.r, 0.4415f, 5e-5f);
  EXPECT_NEAR(d.MinMicDistance, 0.6623f, 5e-5f);
  // Dimensions whose product overflows a float still give their distance.
  EXPECT_NEAR(CriticalDistance(1e20f, 1e20f, 100, 1).r, 5.7e19f, 1e15f);  // V = 1e42 m³
  const float inf = INFINITY;
  const float zero[][4] = {{2, 3, 5, 0},     {0, 3, 5, 0.5f},   {2, 3, 5, -1},
                           {-2, -3, 5, 0.5f}, {NAN, 3, 5, 0.5f}, {inf, 3, 5, 0.5f},
                           {3e38f, 3e38f, 3e38f, 1}};
  for (const auto& z : zero) {
    const TCriticalDistance e = CriticalDistance(z[0], z[1], z[2], z[3]);
    EXPECT_EQ(e.r, 0.0f);
    EXPECT_EQ(e.MinMicDistance, 0.0f);
  }
}
