// The settings reader on arbitrary bytes. Besides not crashing, hanging or running out of memory:
// what it reads obeys the load-time checks (settings that index tables stay within them), and writing
// what was read settles at once (reading the written file back and writing again gives the same text).

#include "FuzzCheck.h"
#include "io/IniFile.h"
#include "io/NumberFormat.h"
#include "io/ini_data.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes(reinterpret_cast<const char*>(Data), Size);

  TIniFile file = TIniFile::FromText(bytes);
  tinidataValues first;
  ReadIniData(file, first);
  Check(first.ASIO_samplerate == "48000");
  Check(first.ASIO_SkipStartBuffer >= 10 && first.yt_timebase >= 300);
  Check(first.screen_left >= 0 && first.screen_top >= 0 && first.yt_left >= 0 && first.RT60_top >= 0);
  // Settings that index tables stay within them.
  auto within = [](int32_t V, int32_t Lo, int32_t Hi) { return V >= Lo && V <= Hi; };
  Check(within(first.RTA_Octave, 0, 4) && within(first.RTA_Speed, 0, 4) && within(first.RTA_ACZ_Bewertung, 0, 2) &&
        within(first.RTA_Unit, 0, 2) && within(first.RTA_BarType, 0, 2) && within(first.RTA_LeqMode, 0, 2) &&
        within(first.MikKorrType, 0, 2) && within(first.ASIO_Messkanalkombi, 0, 3) && within(first.RT60_RoomSize, 0, 6) &&
        within(first.RT60_Frequenzbereich, 0, 3) && within(first.RT60_Source, 0, 1) &&
        within(first.PNoise_LastSignal, 0, 2) && within(first.RT60_Messkanal, 0, MikKorrInputs - 1));
  for (const uint8_t input : first.ASIO_ArrInSequence) Check(input < MikKorrInputs);
  Check(within(first.RTA_LeqSlidingSecWindow, 1, 36000) && within(first.PNoise_Sweep_Dauer_sec, 10, 40) &&
        within(first.PNoise_iLevel, -60, 60) && within(first.RT60_SweepPegel, -30, 0));

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
