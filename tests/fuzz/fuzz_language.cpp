// libFuzzer target: the language file reader on arbitrary bytes. Besides not crashing, every text it
// produces must be valid UTF-8 without line breaks, whatever the encoding guess was.
#include "FuzzCheck.h"
#include "io/TextDecoding.h"
#include "io/UILanguage.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view bytes(reinterpret_cast<const char*>(Data), Size);

  Check(IsValidUtf8(DecodeTextBytes(bytes)));

  const TUILanguage texts = TUILanguage::Parse(bytes);
  Check(texts.Count() <= Size);  // never more entries than bytes
  const auto check = [](std::string_view text) {
    Check(IsValidUtf8(text) && text.find_first_of("\r\n") == std::string_view::npos);
  };
  for (int id = 0; id <= 1000; ++id) {
    if (const std::string* text = texts.Find(id)) check(*text);
  }
  for (const int id : {-1, 100, 101, 2147483647}) check(texts.GetText(id));
  return 0;
}
