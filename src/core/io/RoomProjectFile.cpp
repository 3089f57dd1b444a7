#include "io/RoomProjectFile.h"

#include <bit>
#include <cstring>
#include <fstream>
#include <limits>

#include "io/AtomicFile.h"

static_assert(std::endian::native == std::endian::little, "the project file is written in the machine's byte order");

namespace {

// --- UTF-8 <-> UTF-16 ----------------------------------------------------------------------------------

// Next code point of UTF-8 text; malformed bytes give U+FFFD and are skipped one at a time.
char32_t NextCodePoint(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  auto cont = [&](std::size_t k) -> int {
    if (i + k >= s.size()) return -1;
    const auto b = static_cast<unsigned char>(s[i + k]);
    return (b & 0xC0) == 0x80 ? (b & 0x3F) : -1;
  };
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = 0;
  char32_t cp = 0, min = 0;
  if ((b0 & 0xE0) == 0xC0) len = 2, cp = b0 & 0x1F, min = 0x80;
  else if ((b0 & 0xF0) == 0xE0) len = 3, cp = b0 & 0x0F, min = 0x800;
  else if ((b0 & 0xF8) == 0xF0) len = 4, cp = b0 & 0x07, min = 0x10000;
  if (len == 0) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k < len; ++k) {
    const int c = cont(static_cast<std::size_t>(k));
    if (c < 0) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | static_cast<char32_t>(c);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += static_cast<std::size_t>(len);
  return cp;
}

std::u16string ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const char32_t cp = NextCodePoint(s, i);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16 code units to UTF-8; a surrogate without its partner becomes U+FFFD.
std::string FromUtf16(const std::u16string& s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t u = s[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

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
    const std::u16string u = ToUtf16(s);
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
    return FromUtf16(u);
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
