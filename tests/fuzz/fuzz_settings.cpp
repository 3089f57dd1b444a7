// The settings reader on arbitrary bytes. Besides not crashing, hanging or running out of memory:
// what it reads obeys the load-time checks, and writing what was read settles at once (reading the
// written file back and writing again gives the same text).

#include "io/IniFile.h"
#include "io/NumberFormat.h"
#include "io/ini_data.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void Check(bool Condition) {
  if (!Condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes(reinterpret_cast<const char*>(Data), Size);

  TIniFile file = TIniFile::FromText(bytes);
  tinidataValues first;
  ReadIniData(file, first);
  Check(first.ASIO_samplerate == "48000");
  Check(first.ASIO_SkipStartBuffer >= 10 && first.yt_timebase >= 300);
  Check(first.screen_left >= 0 && first.screen_top >= 0 && first.yt_left >= 0 && first.RT60_top >= 0);
  Check(first.RTA_Octave >= 0 && first.RTA_Speed >= 0 && first.RTA_ACZ_Bewertung >= 0 && first.RT60_Messkanal >= 0);

  const TNumberFormat numbers((Size > 0 && (Data[0] & 1)) ? ',' : '.');
  WriteIniData(file, first, numbers);
  const std::string written = file.Text();

  TIniFile again = TIniFile::FromText(written);
  tinidataValues second;
  ReadIniData(again, second);
  WriteIniData(again, second, numbers);
  Check(again.Text() == written);

  // The number parsers on the whole input.
  if (auto v = TNumberFormat::ParseFloatEitherSeparator(bytes)) {
    const std::string text = numbers.FormatFloat(*v);
    const auto back = numbers.ParseFloat(text);
    Check(back.has_value() && numbers.FormatFloat(*back) == text);
  }
  (void)TNumberFormat::ParseInt(bytes);
  return 0;
}
