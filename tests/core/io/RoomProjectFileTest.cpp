#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "io/RoomProjectFile.h"

namespace {

tReportData Sample() {
  tReportData d;
  d.iAnzahlEinträge = 3;
  d.stMemoText = "line 1\r\nline 2";
  d.stName = "Jürgen";
  d.stRoomSize = "Width(m):2 Depth(m):5 Height(m):3";
  d.stTempHumidity = "21 °C / 45 %";
  d.iRoomtype = 4;
  d.stReportTitle = "Hall \xF0\x9F\x8E\xB5";  // a character outside the 16-bit plane
  d.dtReportDate = 45500.5;
  d.stKommentar = {"a", "x;y", ""};
  d.stProjektData = {"note; with; semicolons;RT60(s);3,2,1,"};
  d.data = {{1.0f, 0.5f, -0.25f}, {}, {0.125f}};
  return d;
}

void ExpectSame(const tReportData& a, const tReportData& b) {
  EXPECT_EQ(a.iAnzahlEinträge, b.iAnzahlEinträge);
  EXPECT_EQ(a.stMemoText, b.stMemoText);
  EXPECT_EQ(a.stName, b.stName);
  EXPECT_EQ(a.stRoomSize, b.stRoomSize);
  EXPECT_EQ(a.stTempHumidity, b.stTempHumidity);
  EXPECT_EQ(a.iRoomtype, b.iRoomtype);
  EXPECT_EQ(a.stReportTitle, b.stReportTitle);
  EXPECT_EQ(a.dtReportDate, b.dtReportDate);
  EXPECT_EQ(a.stKommentar, b.stKommentar);
  EXPECT_EQ(a.stProjektData, b.stProjektData);
  EXPECT_EQ(a.data, b.data);
}

template <typename T>
void Put(std::string& s, T v) {
  char b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  s.append(b, sizeof(T));
}

}  // namespace

TEST(RoomProjectFile, ByteLayoutWrittenByHand) {
  tReportData d;
  d.iAnzahlEinträge = 1;
  d.iRoomtype = 2;
  d.dtReportDate = 1.5;
  d.stReportTitle = "Aé";
  d.stKommentar = {"n"};
  d.data = {{0.5f, -1.0f}};

  std::string e;
  Put<std::int32_t>(e, 1);    // version
  Put<double>(e, 1.5);        // date
  Put<std::int32_t>(e, 1);    // measurements
  Put<std::int32_t>(e, 2);    // room type
  Put<std::int32_t>(e, 2);    // title: 2 code units
  Put<std::uint16_t>(e, 'A');
  Put<std::uint16_t>(e, 0xE9);
  for (int i = 0; i < 4; ++i) Put<std::int32_t>(e, 0);  // room size, temp/humidity, notes, author
  Put<std::int32_t>(e, 1);    // one note
  Put<std::int32_t>(e, 1);
  Put<std::uint16_t>(e, 'n');
  Put<std::int32_t>(e, 0);    // no compare items
  Put<std::int32_t>(e, 1);    // one response of two samples
  Put<std::int32_t>(e, 2);
  Put<float>(e, 0.5f);
  Put<float>(e, -1.0f);

  EXPECT_EQ(EncodeRoomProject(d), e);
  ExpectSame(DecodeRoomProject(e), d);
}

TEST(RoomProjectFile, RoundTripThroughAFile) {
  const auto path = std::filesystem::temp_directory_path() / ("vemra_proj_" + std::to_string(::getpid()) + ".vmR6");
  const tReportData d = Sample();
  WriteRoomProject(path, d);
  tReportData back;
  ReadRoomProject(path, back);
  ExpectSame(back, d);
  std::filesystem::remove(path);
}

TEST(RoomProjectFile, BadFilesFailAndChangeNothing) {
  const std::string good = EncodeRoomProject(Sample());
  tReportData keep;
  keep.stName = "unchanged";
  keep.data = {{9.0f}};

  // Every truncation fails.
  for (std::size_t n = 0; n < good.size(); ++n) {
    tReportData d = keep;
    EXPECT_THROW(d = DecodeRoomProject(std::string_view(good).substr(0, n)), TRoomProjectError) << n;
    ExpectSame(d, keep);
  }

  // Another version.
  std::string v2 = good;
  v2[0] = 2;
  try {
    DecodeRoomProject(v2);
    ADD_FAILURE() << "version 2 accepted";
  } catch (const TRoomProjectError& e) {
    EXPECT_STREQ(e.what(), "Falsches Dateiformat");
  }

  // A count far beyond the rest of the file, and a negative one (first text count, at offset 20).
  for (std::int32_t bad : {0x7FFFFFFF, -1}) {
    std::string b = good;
    std::memcpy(b.data() + 20, &bad, 4);
    EXPECT_THROW(DecodeRoomProject(b), TRoomProjectError);
  }

  // Through the file functions: missing file, folder, unwritable target.
  const auto dir = std::filesystem::temp_directory_path() / ("vemra_projbad_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  tReportData d = keep;
  EXPECT_THROW(ReadRoomProject(dir / "missing.vmR6", d), TRoomProjectError);
  EXPECT_THROW(ReadRoomProject(dir, d), TRoomProjectError);
  {
    std::ofstream(dir / "v2.vmR6", std::ios::binary) << v2;
  }
  EXPECT_THROW(ReadRoomProject(dir / "v2.vmR6", d), TRoomProjectError);
  ExpectSame(d, keep);
  EXPECT_THROW(WriteRoomProject(dir / "v2.vmR6" / "x.vmR6", Sample()), TRoomProjectError);
  std::filesystem::remove_all(dir);
}
