// The room project reader on arbitrary bytes. Besides not crashing, hanging or allocating without
// bound: a project it accepts writes back to bytes that read as the same project, and the compare-item
// texts it holds split into fields that join back to the text.

#include "FuzzCheck.h"
#include "io/RoomProjectFile.h"
#include "room/TRT60Model.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes(reinterpret_cast<const char*>(Data), Size);
  tReportData d;
  try {
    d = DecodeRoomProject(bytes);
  } catch (const TRoomProjectError&) {
    return 0;
  }
  const tReportData again = DecodeRoomProject(EncodeRoomProject(d));
  Check(again.stKommentar == d.stKommentar && again.stProjektData == d.stProjektData && again.stName == d.stName &&
        again.stReportTitle == d.stReportTitle && again.iRoomtype == d.iRoomtype &&
        again.iAnzahlEinträge == d.iAnzahlEinträge && again.data.size() == d.data.size());
  // A second write of what was read back is byte for byte the first (texts settle to valid UTF-8 at once).
  Check(EncodeRoomProject(again) == EncodeRoomProject(d));
  for (const auto& text : d.stProjektData) {
    const TCompareFields f = TRT60Model::SplitCompareItemText(text);
    Check(f.ChartName.find(';') == std::string::npos && f.Source.find(';') == std::string::npos);
    if (text.find(';') != std::string::npos && text.find(';') != text.rfind(';'))
      Check(f.Note + ";" + f.ChartName + ";" + f.Source == text);
  }
  return 0;
}
