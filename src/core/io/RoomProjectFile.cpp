#include "io/RoomProjectFile.h"

#include <bit>
#include <cstring>
#include <fstream>
#include <limits>

#include "io/AtomicFile.h"
#include "io/TextDecoding.h"

static_assert(std::endian::native == std::endian::little, "the project file is written in the machine's byte order");

namespace {

// --- Writing -------------------------------------------------------------------------------------------

class TWriter {
public:
  template <typename T>
  void Put(T v) {
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    FBytes.append(b, sizeof(T));
  }
  void Count(std::size_t n) {
    if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
      throw TRoomProjectError("too many items for a project file");
    Put<std::int32_t>(static_cast<std::int32_t>(n));
  }
  void Text(std::string_view s) {
    const std::u16string u = Utf8ToUtf16(s);
    Count(u.size());
    for (char16_t c : u) Put<std::uint16_t>(static_cast<std::uint16_t>(c));
  }
  std::string Take() { return std::move(FBytes); }

private:
  std::string FBytes;
};

// --- Reading -------------------------------------------------------------------------------------------

class TReader {
public:
  explicit TReader(std::string_view Bytes) : FBytes(Bytes) {}

  template <typename T>
  T Get() {
    Need(sizeof(T));
    T v;
    std::memcpy(&v, FBytes.data() + FPos, sizeof(T));
    FPos += sizeof(T);
    return v;
  }
  // A count of items that take at least ItemBytes each: negative or beyond the rest of the bytes fails.
  std::size_t Count(std::size_t ItemBytes) {
    const auto n = Get<std::int32_t>();
    if (n < 0) throw TRoomProjectError("negative count in project file");
    const auto count = static_cast<std::size_t>(n);
    if (ItemBytes > 0 && count > (FBytes.size() - FPos) / ItemBytes)
      throw TRoomProjectError("project file ends early");
    return count;
  }
  std::string Text() {
    const std::size_t n = Count(2);
    std::u16string u(n, u'\0');
    for (std::size_t i = 0; i < n; ++i) u[i] = static_cast<char16_t>(Get<std::uint16_t>());
    return Utf16ToUtf8(u);
  }
  std::vector<std::string> Texts() {
    const std::size_t n = Count(4);
    std::vector<std::string> v;
    v.reserve(n);
    for (std::size_t i = 0; i < n; ++i) v.push_back(Text());
    return v;
  }

private:
  void Need(std::size_t n) const {
    if (FBytes.size() - FPos < n) throw TRoomProjectError("project file ends early");
  }
  std::string_view FBytes;
  std::size_t FPos = 0;
};

}  // namespace

std::string EncodeRoomProject(const tReportData& Data) {
  TWriter w;
  w.Put<std::int32_t>(RoomProjectVersion);
  w.Put<double>(Data.dtReportDate);
  w.Put<std::int32_t>(Data.iAnzahlEinträge);
  w.Put<std::int32_t>(Data.iRoomtype);
  w.Text(Data.stReportTitle);
  w.Text(Data.stRoomSize);
  w.Text(Data.stTempHumidity);
  w.Text(Data.stMemoText);
  w.Text(Data.stName);
  w.Count(Data.stKommentar.size());
  for (const auto& s : Data.stKommentar) w.Text(s);
  w.Count(Data.stProjektData.size());
  for (const auto& s : Data.stProjektData) w.Text(s);
  w.Count(Data.data.size());
  for (const auto& ir : Data.data) {
    w.Count(ir.size());
    for (float x : ir) w.Put<float>(x);
  }
  return w.Take();
}

tReportData DecodeRoomProject(std::string_view Bytes) {
  TReader r(Bytes);
  if (r.Get<std::int32_t>() != RoomProjectVersion) throw TRoomProjectError("Falsches Dateiformat");
  tReportData d;
  d.dtReportDate = r.Get<double>();
  d.iAnzahlEinträge = r.Get<std::int32_t>();
  d.iRoomtype = r.Get<std::int32_t>();
  d.stReportTitle = r.Text();
  d.stRoomSize = r.Text();
  d.stTempHumidity = r.Text();
  d.stMemoText = r.Text();
  d.stName = r.Text();
  d.stKommentar = r.Texts();
  d.stProjektData = r.Texts();
  const std::size_t n = r.Count(4);
  d.data.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::vector<float> ir(r.Count(4));
    for (float& x : ir) x = r.Get<float>();
    d.data.push_back(std::move(ir));
  }
  return d;
}

void WriteRoomProject(const std::filesystem::path& FileName, const tReportData& Data) {
  const std::string bytes = EncodeRoomProject(Data);
  try {
    TAtomicFile::Write(FileName, bytes);
  } catch (const TAtomicFileError& e) {
    throw TRoomProjectError(e.what());
  }
}

void ReadRoomProject(const std::filesystem::path& FileName, tReportData& Data) {
  std::error_code ec;
  if (std::filesystem::is_directory(FileName, ec)) throw TRoomProjectError(FileName.string() + " is a folder");
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw TRoomProjectError("cannot open " + FileName.string());
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw TRoomProjectError("cannot read " + FileName.string());
  Data = DecodeRoomProject(bytes);
}
