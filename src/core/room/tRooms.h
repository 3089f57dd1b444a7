#pragma once

// Room types a measurement is rated against. The value is what the settings keep as the room type index
// and what the room-type list shows at that position.
enum tRooms : int {
  Room_Studio = 0,
  Room_HomeCinema = 1,
  Room_Konferenzzimmer = 2,
  Room_Konzertsaal = 3,
  Room_Hörsaal = 4,
  Room_Klassenzimmer = 5,
  Room_Kirche = 6,
};

inline constexpr int RoomTypeCount = 7;
