#include "io/TextDecoding.h"

#include <cstdint>
#include <utility>

namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves undefined map to the C1 control of
// the same number, as Windows itself converts them; 0xA0..0xFF equal their Latin-1 code points.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string FromCp1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      out += ch;
    } else if (b < 0xA0) {
      AppendUtf8(out, kCp1252High[b - 0x80]);
    } else {
      AppendUtf8(out, b);
    }
  }
  return out;
}

std::string FromUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string units(bytes.size() / 2, u'\0');  // an odd last byte is dropped
  for (std::size_t k = 0; k < units.size(); ++k) {
    const auto b0 = static_cast<unsigned char>(bytes[2 * k]);
    const auto b1 = static_cast<unsigned char>(bytes[2 * k + 1]);
    units[k] = static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
  }
  return Utf16ToUtf8(units);
}

// The code point that begins at Bytes[I] and the number of bytes it takes; 0 bytes when no well-formed
// UTF-8 sequence begins there (no overlong forms, no surrogates, nothing above U+10FFFF).
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view Bytes, std::size_t I) {
  const auto b = static_cast<unsigned char>(Bytes[I]);
  if (b < 0x80) return {b, 1};
  std::size_t len = 0;
  char32_t c = 0;
  char32_t least = 0;
  if ((b & 0xE0) == 0xC0) {
    len = 2, c = b & 0x1F, least = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, c = b & 0x0F, least = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, c = b & 0x07, least = 0x10000;
  } else {
    return {0, 0};
  }
  if (Bytes.size() - I < len) return {0, 0};
  for (std::size_t k = 1; k < len; ++k) {
    const auto cont = static_cast<unsigned char>(Bytes[I + k]);
    if ((cont & 0xC0) != 0x80) return {0, 0};
    c = (c << 6) | (cont & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return {0, 0};
  return {c, len};
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

}  // namespace

bool IsValidUtf8(std::string_view Bytes) {
  for (std::size_t i = 0; i < Bytes.size();) {
    const std::size_t len = DecodeUtf8(Bytes, i).second;
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string Utf16ToUtf8(std::u16string_view Units) {
  std::string out;
  out.reserve(Units.size());
  for (std::size_t k = 0; k < Units.size(); ++k) {
    const char16_t u = Units[k];
    if (u >= 0xD800 && u < 0xDC00 && k + 1 < Units.size() && Units[k + 1] >= 0xDC00 && Units[k + 1] < 0xE000) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (Units[k + 1] - 0xDC00));
      ++k;
    } else {
      AppendUtf8(out, (u >= 0xD800 && u < 0xE000) ? char32_t{0xFFFD} : char32_t{u});
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view Text) {
  std::u16string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size();) {
    const auto [c, len] = DecodeUtf8(Text, i);
    if (len == 0) {
      out += u'\xFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += len;
  }
  return out;
}

std::string DecodeTextBytes(std::string_view Bytes) {
  if (StartsWith(Bytes, "\xEF\xBB\xBF")) {
    const std::string_view rest = Bytes.substr(3);
    return IsValidUtf8(rest) ? std::string(rest) : FromCp1252(rest);
  }
  if (StartsWith(Bytes, "\xFF\xFE")) return FromUtf16(Bytes.substr(2), false);
  if (StartsWith(Bytes, "\xFE\xFF")) return FromUtf16(Bytes.substr(2), true);
  return IsValidUtf8(Bytes) ? std::string(Bytes) : FromCp1252(Bytes);
}

std::vector<std::string_view> SplitLines(std::string_view Text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\n' || Text[i] == '\r') {
      lines.push_back(Text.substr(start, i - start));
      if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < Text.size()) lines.push_back(Text.substr(start));
  return lines;
}
