#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A room project in memory: the report fields, the room type, and per stored measurement its note and its
// impulse response (at the rate it was measured; the file records neither rate nor measuring range).
struct tReportData {
  std::int32_t iAnzahlEinträge = 0;  // number of measurements when saved
  std::string stMemoText;            // report notes
  std::string stName;                // author
  std::string stRoomSize;            // room dimensions
  std::string stTempHumidity;        // temperature and humidity
  std::int32_t iRoomtype = 0;        // room type index 0 ... 6
  std::string stReportTitle;
  double dtReportDate = 0;           // days since 30 December 1899
  std::vector<std::string> stKommentar;         // note of each stored measurement
  std::vector<std::string> stProjektData;       // one text per compare item
  std::vector<std::vector<float>> data;         // impulse response of each stored measurement
};

// A project file that cannot be read or written. what() is a short reason for the program's own use
// ("Falsches Dateiformat" for another format version); the user is shown the general message of the caller.
class TRoomProjectError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Room project file (".vmR6"), binary, little-endian:
//   int32 format version (1), float64 report date, int32 number of measurements, int32 room type,
//   texts: report title, room size, temperature/humidity, report notes, author;
//   int32 count + that many texts (notes); int32 count + that many texts (compare items);
//   int32 count + per impulse response: int32 sample count S + S float32 samples.
// A text is an int32 count N of UTF-16 code units followed by 2N bytes of UTF-16LE (N = 0 when empty).
// Texts in memory are UTF-8.
inline constexpr std::int32_t RoomProjectVersion = 1;

// The file's bytes for a project.
std::string EncodeRoomProject(const tReportData& Data);
// The project in the given bytes. Throws TRoomProjectError for another version, a count that is negative
// or larger than the rest of the bytes, and bytes that end early. Bytes after the last response are
// ignored.
tReportData DecodeRoomProject(std::string_view Bytes);

// Writes the file as a whole (created or replaced; a failure leaves an existing file as it was).
void WriteRoomProject(const std::filesystem::path& FileName, const tReportData& Data);
// Reads the file into Data. On any failure Data is left as it was and TRoomProjectError is thrown.
void ReadRoomProject(const std::filesystem::path& FileName, tReportData& Data);
