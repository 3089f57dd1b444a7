#pragma once

#include "audio/TAudioDriver.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class RtAudio;

// A device found by RtAudio, as the driver list shows it.
struct TRtAudioDevice {
  std::string Label;  // "JACK: system", "ALSA: ...", "PulseAudio: ..."
  int Api = 0;  // RtAudio::Api
  std::string DeviceName;  // RtAudio's own name of the device
  int Inputs = 0;
  int Outputs = 0;
  std::vector<int> Rates;
  int PreferredBlock = 1024;
  int MinBlock = 32;
  int MaxBlock = 8192;
};

// An audio device reached through RtAudio (JACK, ALSA, PulseAudio on Linux). Every channel of the
// device is opened, non-interleaved 32-bit float. The device is looked up by its name again at every
// opening, so a device that has gone away gives a clear error instead of another device.
// RtAudio's own error output and the ALSA and JACK libraries' messages are silenced: failures come
// back as TASIOHostError, and failures while streaming as StreamError.
class TRtAudioDriver : public TAudioDriver {
public:
  // Every device with at least one channel, JACK first, then ALSA, then PulseAudio.
  static std::vector<TRtAudioDevice> Enumerate();

  // Throws TASIOHostError when the device is not there (any more).
  explicit TRtAudioDriver(const TRtAudioDevice& Device);
  ~TRtAudioDriver() override;

  int InputChannelCount() const override { return FDevice.Inputs; }
  int OutputChannelCount() const override { return FDevice.Outputs; }
  int PreferredBufferSize() const override { return FDevice.PreferredBlock; }
  int MinBufferSize() const override { return FDevice.MinBlock; }
  int MaxBufferSize() const override { return FDevice.MaxBlock; }
  std::vector<int> SampleRates() const override { return FDevice.Rates; }

  void Open(double Rate, int BufferSize) override;
  bool IsOpen() const override;
  int OpenBufferSize() const override { return FBlock; }
  void Start(TProcess Process) override;
  void Stop() noexcept override;
  void Close() noexcept override;
  bool IsRunning() const override;
  std::string StreamError() const override;
  std::uint64_t XRunCount() const override { return FXRuns.load(std::memory_order_relaxed); }

  // Called by RtAudio (error callback and block callback); public only for the C callbacks.
  void ReportError(bool Fatal, const std::string& Text);
  int OnBlock(void* Out, void* In, unsigned Frames, unsigned Status);

private:
  TRtAudioDevice FDevice;
  std::unique_ptr<RtAudio> FAudio;
  int FBlock = 0;
  TProcess FProcess;
  std::vector<const float*> FInPtr;
  std::vector<float*> FOutPtr;
  std::vector<float> FSilence;
  std::atomic<bool> FStarted{false};
  std::atomic<std::uint64_t> FXRuns{0};
  mutable std::mutex FErrorLock;
  std::string FError;
};
