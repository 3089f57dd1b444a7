#include "audio/TASIOHost.h"

#include "audio/TVirtualInterface.h"

#include <algorithm>
#include <cmath>

const std::vector<int>& TASIOHost::OfferedSampleRates() {
  static const std::vector<int> rates{44100, 48000, 88200, 96000, 192000};
  return rates;
}

TASIOHost::TASIOHost() {
  try {
    FVirtualConfig = TVirtualRoomConfig::FromEnvironment();
  } catch (const TVirtualRoomError& e) {
    FVirtualConfigError = e.what();
  }
  RefreshDriverList();
}

TASIOHost::~TASIOHost() { CloseDriver(); }

void TASIOHost::RefreshDriverList() {
  if (FActive) throw TASIOHostError("The list of audio interfaces cannot change while measuring.");
  const std::string current = DriverName();
  FEntries.clear();
  FEntries.push_back({VirtualInterfaceName, std::nullopt});
  for (auto& d : TRtAudioDriver::Enumerate()) FEntries.push_back({d.Label, d});
  FDriverNames.clear();
  for (const auto& e : FEntries) FDriverNames.push_back(e.Label);
  if (FDriverIndex >= 0) {
    const auto it = std::find(FDriverNames.begin(), FDriverNames.end(), current);
    if (it == FDriverNames.end()) {
      CloseDriver();
      FDriver.reset();
      FDriverIndex = -1;
    } else {
      FDriverIndex = static_cast<int>(it - FDriverNames.begin());
    }
  }
}

std::string TASIOHost::DriverName() const {
  return FDriverIndex >= 0 && FDriverIndex < static_cast<int>(FDriverNames.size()) ? FDriverNames[FDriverIndex]
                                                                                   : std::string();
}

void TASIOHost::LoadDriver(int Index) {
  const TEntry& e = FEntries[static_cast<std::size_t>(Index)];
  if (!e.Device) {
    if (!FVirtualConfigError.empty()) throw TASIOHostError(FVirtualConfigError);
    FDriver = std::make_unique<TVirtualInterface>(FVirtualConfig);
  } else {
    FDriver = std::make_unique<TRtAudioDriver>(*e.Device);
  }
  FDriverIndex = Index;
  FBufferSize = FDriver->PreferredBufferSize();
  // Keep the rate in force when the new interface has it, else take 48000 Hz or its first rate.
  if (CanSampleRate(FSampleRate) != 0) {
    const auto rates = FDriver->SampleRates();
    if (CanSampleRate(48000.0) == 0) {
      FSampleRate = 48000.0;
    } else if (!rates.empty()) {
      FSampleRate = rates.front();
    }
  }
}

void TASIOHost::SetDriverIndex(int Index) {
  if (FActive) throw TASIOHostError("The audio interface cannot change while measuring.");
  if (Index < -1 || Index >= static_cast<int>(FEntries.size())) {
    throw TASIOHostError("There is no audio interface number " + std::to_string(Index + 1) + ".");
  }
  CloseDriver();
  FDriver.reset();
  FDriverIndex = -1;
  FBufferSize = 0;
  if (Index >= 0) LoadDriver(Index);
}

int TASIOHost::InputChannelCount() const { return FDriver ? FDriver->InputChannelCount() : 0; }
int TASIOHost::OutputChannelCount() const { return FDriver ? FDriver->OutputChannelCount() : 0; }
int TASIOHost::BufferMinimum() const { return FDriver ? FDriver->MinBufferSize() : 0; }
int TASIOHost::BufferMaximum() const { return FDriver ? FDriver->MaxBufferSize() : 0; }

void TASIOHost::SetBufferSize(int Frames) {
  if (!FDriver) throw TASIOHostError("No audio interface is selected.");
  if (FActive) throw TASIOHostError("The block length cannot change while measuring.");
  const int n = std::clamp(Frames, FDriver->MinBufferSize(), FDriver->MaxBufferSize());
  if (n == FBufferSize) return;
  const bool wasOpen = FDriver->IsOpen();
  FDriver->Close();
  FBufferSize = n;
  if (wasOpen) OpenDriver();
}

void TASIOHost::OpenDriver() {
  if (!FDriver) throw TASIOHostError("No audio interface is selected.");
  if (FActive) return;
  // Not closed first: the virtual interface keeps its room when neither rate nor block length changes
  // (building a long room's tail takes a noticeable moment).
  FDriver->Open(FSampleRate, FBufferSize);
  FBufferSize = FDriver->OpenBufferSize();
}

void TASIOHost::CloseDriver() {
  FActive = false;
  if (FDriver) FDriver->Close();
}

bool TASIOHost::DriverOpen() const { return FDriver && FDriver->IsOpen(); }

int TASIOHost::CanSampleRate(double Rate) const {
  if (!FDriver || !(Rate > 0.0) || std::floor(Rate) != Rate) return 1;
  const auto rates = FDriver->SampleRates();
  return std::find(rates.begin(), rates.end(), static_cast<int>(Rate)) != rates.end() ? 0 : 1;
}

std::vector<int> TASIOHost::SupportedSampleRates() const {
  std::vector<int> r;
  for (int rate : OfferedSampleRates()) {
    if (CanSampleRate(rate) == 0) r.push_back(rate);
  }
  return r;
}

void TASIOHost::SetSampleRate(double Rate) {
  if (!FDriver) throw TASIOHostError("No audio interface is selected.");
  if (CanSampleRate(Rate) != 0) {
    throw TASIOHostError("The audio interface \"" + DriverName() + "\" does not support " +
                         std::to_string(static_cast<long long>(Rate)) + " Hz.");
  }
  if (Rate == FSampleRate) return;
  if (FActive) throw TASIOHostError("The sample rate cannot change while measuring.");
  const bool wasOpen = FDriver->IsOpen();
  FDriver->Close();
  FSampleRate = Rate;
  if (wasOpen) OpenDriver();
}

void TASIOHost::SetActive(bool Value) {
  if (Value == FActive) return;
  if (!Value) {
    FActive = false;
    if (FDriver) FDriver->Stop();
    return;
  }
  if (!FDriver) throw TASIOHostError("No audio interface is selected.");
  if (!FDriver->IsOpen()) OpenDriver();
  FDriver->Start([this](const float* const* In, int Inputs, float* const* Out, int Outputs, int Frames) {
    if (OnBufferSwitch32) {
      OnBufferSwitch32(*this, std::span<const float* const>(In, static_cast<std::size_t>(Inputs)),
                       std::span<float* const>(Out, static_cast<std::size_t>(Outputs)), Frames);
    } else {
      for (int k = 0; k < Outputs; ++k) std::fill(Out[k], Out[k] + Frames, 0.0f);
    }
  });
  FActive = true;
}

std::uint64_t TASIOHost::XRunCount() const { return FDriver ? FDriver->XRunCount() : 0; }

std::string TASIOHost::StreamError() const {
  if (!FDriver || !FActive) return {};
  std::string e = FDriver->StreamError();
  if (e.empty() && !FDriver->IsRunning()) e = "The audio interface \"" + DriverName() + "\" stopped.";
  return e;
}

void TASIOHost::SetVirtualRoom(const TVirtualRoomConfig& Config) {
  FVirtualConfig = Config;
  FVirtualConfigError.clear();
  if (FDriverIndex == 0 && !FActive) {
    CloseDriver();
    FDriver.reset();
    LoadDriver(0);
  }
}

TVirtualInterface* TASIOHost::VirtualInterface() const {
  return FDriverIndex == 0 ? static_cast<TVirtualInterface*>(FDriver.get()) : nullptr;
}
