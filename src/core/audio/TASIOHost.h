#pragma once

#include "audio/TAudioDriver.h"
#include "audio/TRtAudioDriver.h"
#include "audio/TVirtualRoom.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class TVirtualInterface;

// The audio interface as the program sees it. DriverList names every interface that can be chosen:
// "Virtual interface" always first, then the devices RtAudio finds (JACK first, then ALSA, then
// PulseAudio). Choosing one (SetDriverIndex) loads it and tells its channel counts, block lengths and
// rates; OpenDriver creates its stream at SampleRate and BufferSize (a JACK server fixes both, so
// BufferSize is the server's after opening); SetActive(true) starts calling OnBufferSwitch32 once per
// block on the interface's thread, SetActive(false) returns when no call runs any more.
// Every failure throws TASIOHostError with a message fit for the user. A stream that stops on its own
// (device unplugged, JACK server gone) never hangs the program: Active() stays true until the program
// stops it, StreamError() tells why, and stopping and closing still return.
class TASIOHost {
public:
  // InBuffer and OutBuffer: one array of Frames samples per channel (Frames = BufferSize), full scale
  // +-1.0. Whatever the output arrays hold when the handler returns is played.
  using TBufferSwitch32 = std::function<void(TASIOHost& Sender, std::span<const float* const> InBuffer,
                                             std::span<float* const> OutBuffer, int Frames)>;

  static constexpr const char* VirtualInterfaceName = "Virtual interface";
  // The rates the program offers, in this order, where the interface supports them.
  static const std::vector<int>& OfferedSampleRates();

  // Builds the driver list; the virtual interface takes its settings from VEMRA_VIRTUAL_ROOM.
  TASIOHost();
  ~TASIOHost();
  TASIOHost(const TASIOHost&) = delete;
  TASIOHost& operator=(const TASIOHost&) = delete;

  const std::vector<std::string>& DriverList() const { return FDriverNames; }
  // Looks for interfaces again (only while no stream runs); the chosen one stays chosen if still there.
  void RefreshDriverList();

  int DriverIndex() const { return FDriverIndex; }
  // Loads interface Index of DriverList (-1: none). Throws when it cannot be loaded; then no interface
  // is chosen.
  void SetDriverIndex(int Index);
  std::string DriverName() const;

  int InputChannelCount() const;
  int OutputChannelCount() const;
  int BufferSize() const { return FBufferSize; }
  int BufferMinimum() const;
  int BufferMaximum() const;
  // The control panel's choice of block length (clamped to the interface's range); not while active.
  void SetBufferSize(int Frames);

  void OpenDriver();
  void CloseDriver();
  bool DriverOpen() const;

  // 0 when the interface supports Rate, 1 otherwise (also when no interface is chosen).
  int CanSampleRate(double Rate) const;
  // OfferedSampleRates that the chosen interface supports.
  std::vector<int> SupportedSampleRates() const;
  double SampleRate() const { return FSampleRate; }
  // Throws when the rate is not supported; an open stream is opened again at the new rate.
  void SetSampleRate(double Rate);

  bool Active() const { return FActive; }
  void SetActive(bool Value);

  TBufferSwitch32 OnBufferSwitch32;

  // Health of the running stream: overruns/underruns reported by the interface, and why the stream
  // stopped on its own (empty while it runs as it should).
  std::uint64_t XRunCount() const;
  std::string StreamError() const;

  // The virtual interface's room and shape; applies when the virtual interface is chosen next (at once
  // when it is chosen and no stream runs).
  void SetVirtualRoom(const TVirtualRoomConfig& Config);
  const TVirtualRoomConfig& VirtualRoom() const { return FVirtualConfig; }
  // The chosen driver if it is the virtual interface (for stepping it in tests), else nullptr.
  TVirtualInterface* VirtualInterface() const;

private:
  struct TEntry {
    std::string Label;
    std::optional<TRtAudioDevice> Device;  // empty for the virtual interface
  };
  void LoadDriver(int Index);

  std::vector<TEntry> FEntries;
  std::vector<std::string> FDriverNames;
  int FDriverIndex = -1;
  std::unique_ptr<TAudioDriver> FDriver;
  TVirtualRoomConfig FVirtualConfig;
  std::string FVirtualConfigError;
  double FSampleRate = 48000.0;
  int FBufferSize = 0;
  bool FActive = false;
};
