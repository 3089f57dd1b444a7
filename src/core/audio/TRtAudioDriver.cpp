#include "audio/TRtAudioDriver.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <cstring>

namespace {

// RtAudio's error callback carries no user pointer; only one device stream is open at a time.
std::atomic<TRtAudioDriver*> GStreamOwner{nullptr};

void OnRtAudioError(RtAudioError::Type Type, const std::string& Text) {
  if (TRtAudioDriver* d = GStreamOwner.load(std::memory_order_acquire)) {
    d->ReportError(Type != RtAudioError::WARNING && Type != RtAudioError::DEBUG_WARNING, Text);
  }
}

int OnRtAudioBlock(void* Out, void* In, unsigned int Frames, double, RtAudioStreamStatus Status, void* User) {
  return static_cast<TRtAudioDriver*>(User)->OnBlock(Out, In, Frames, Status);
}

void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}
void SilentJack(const char*) {}

void SilenceLibraries() {
  static const bool once = [] {
    snd_lib_error_set_handler(&SilentAlsa);
    jack_set_error_function(&SilentJack);
    jack_set_info_function(&SilentJack);
    return true;
  }();
  (void)once;
}

std::string ApiLabel(RtAudio::Api Api) {
  switch (Api) {
    case RtAudio::UNIX_JACK: return "JACK";
    case RtAudio::LINUX_ALSA: return "ALSA";
    case RtAudio::LINUX_PULSE: return "PulseAudio";
    default: return RtAudio::getApiDisplayName(Api);
  }
}

// Block length and rate of the running JACK server, if there is one.
bool JackServerFormat(int& Block, int& Rate) {
  jack_status_t status{};
  jack_client_t* c = jack_client_open("vemra-probe", JackNoStartServer, &status);
  if (c == nullptr) return false;
  Block = static_cast<int>(jack_get_buffer_size(c));
  Rate = static_cast<int>(jack_get_sample_rate(c));
  jack_client_close(c);
  return true;
}

bool FindDevice(RtAudio& Audio, const std::string& Name, unsigned& Id, RtAudio::DeviceInfo& Info) {
  const unsigned n = Audio.getDeviceCount();
  for (unsigned i = 0; i < n; ++i) {
    RtAudio::DeviceInfo d = Audio.getDeviceInfo(i);
    if (d.probed && d.name == Name) {
      Id = i;
      Info = d;
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<TRtAudioDevice> TRtAudioDriver::Enumerate() {
  SilenceLibraries();
  std::vector<RtAudio::Api> compiled;
  RtAudio::getCompiledApi(compiled);
  std::vector<TRtAudioDevice> list;
  for (RtAudio::Api api : {RtAudio::UNIX_JACK, RtAudio::LINUX_ALSA, RtAudio::LINUX_PULSE}) {
    if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) continue;
    int jackBlock = 0, jackRate = 0;
    // Without a JACK server there is nothing to ask RtAudio about.
    if (api == RtAudio::UNIX_JACK && !JackServerFormat(jackBlock, jackRate)) continue;
    try {
      RtAudio audio(api);
      audio.showWarnings(false);
      const unsigned n = audio.getDeviceCount();
      for (unsigned i = 0; i < n; ++i) {
        const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
        if (!info.probed || (info.inputChannels == 0 && info.outputChannels == 0)) continue;
        TRtAudioDevice d;
        d.Label = ApiLabel(api) + ": " + info.name;
        d.Api = static_cast<int>(api);
        d.DeviceName = info.name;
        d.Inputs = static_cast<int>(info.inputChannels);
        d.Outputs = static_cast<int>(info.outputChannels);
        for (unsigned r : info.sampleRates) d.Rates.push_back(static_cast<int>(r));
        std::sort(d.Rates.begin(), d.Rates.end());
        if (api == RtAudio::UNIX_JACK) {
          // The server fixes both; a client takes them as they are.
          d.PreferredBlock = d.MinBlock = d.MaxBlock = jackBlock;
          d.Rates = {jackRate};
        }
        list.push_back(std::move(d));
      }
    } catch (const std::exception&) {
      // An API that cannot even be asked (no server, no sound card) offers no devices.
    }
  }
  return list;
}

TRtAudioDriver::TRtAudioDriver(const TRtAudioDevice& Device) : FDevice(Device) {
  SilenceLibraries();
  try {
    FAudio = std::make_unique<RtAudio>(static_cast<RtAudio::Api>(Device.Api));
    FAudio->showWarnings(false);
  } catch (const std::exception& e) {
    throw TASIOHostError("The audio interface \"" + Device.Label + "\" cannot be used: " + e.what());
  }
}

TRtAudioDriver::~TRtAudioDriver() { Close(); }

void TRtAudioDriver::ReportError(bool Fatal, const std::string& Text) {
  std::lock_guard<std::mutex> lock(FErrorLock);
  if (Fatal || FError.empty()) FError = Text;
}

std::string TRtAudioDriver::StreamError() const {
  std::lock_guard<std::mutex> lock(FErrorLock);
  if (!FError.empty()) return FError;
  if (FStarted.load(std::memory_order_acquire) && !IsRunning()) {
    return "The audio interface \"" + FDevice.Label + "\" stopped (device removed or server shut down).";
  }
  return {};
}

bool TRtAudioDriver::IsOpen() const { return FAudio && FAudio->isStreamOpen(); }

bool TRtAudioDriver::IsRunning() const { return FAudio && FAudio->isStreamRunning(); }

void TRtAudioDriver::Open(double Rate, int BufferSize) {
  Close();
  if (!FAudio) throw TASIOHostError("The audio interface \"" + FDevice.Label + "\" cannot be used.");
  if (FDevice.Api == RtAudio::UNIX_JACK) {
    int block = 0, rate = 0;
    if (!JackServerFormat(block, rate)) {
      throw TASIOHostError("The JACK server is not running; \"" + FDevice.Label + "\" cannot be opened.");
    }
    if (rate != static_cast<int>(Rate)) {
      throw TASIOHostError("The JACK server runs at " + std::to_string(rate) + " Hz, not at " +
                           std::to_string(static_cast<int>(Rate)) + " Hz.");
    }
  }
  unsigned id = 0;
  RtAudio::DeviceInfo info;
  try {
    if (!FindDevice(*FAudio, FDevice.DeviceName, id, info)) {
      throw TASIOHostError("The audio interface \"" + FDevice.Label + "\" is not connected.");
    }
  } catch (const RtAudioError& e) {
    throw TASIOHostError("The audio interface \"" + FDevice.Label + "\" cannot be reached: " + e.getMessage());
  }
  FDevice.Inputs = static_cast<int>(info.inputChannels);
  FDevice.Outputs = static_cast<int>(info.outputChannels);

  RtAudio::StreamParameters in, out;
  in.deviceId = out.deviceId = id;
  in.nChannels = info.inputChannels;
  out.nChannels = info.outputChannels;
  RtAudio::StreamOptions options;
  options.flags = RTAUDIO_NONINTERLEAVED;
  options.streamName = "Vemra";
  unsigned frames = static_cast<unsigned>(std::max(BufferSize, 16));
  {
    std::lock_guard<std::mutex> lock(FErrorLock);
    FError.clear();
  }
  GStreamOwner.store(this, std::memory_order_release);
  try {
    FAudio->openStream(out.nChannels ? &out : nullptr, in.nChannels ? &in : nullptr, RTAUDIO_FLOAT32,
                       static_cast<unsigned>(Rate), &frames, &OnRtAudioBlock, this, &options, &OnRtAudioError);
  } catch (const RtAudioError& e) {
    throw TASIOHostError("The audio interface \"" + FDevice.Label + "\" could not be opened at " +
                         std::to_string(static_cast<int>(Rate)) + " Hz: " + e.getMessage());
  }
  if (!FAudio->isStreamOpen()) {
    throw TASIOHostError("The audio interface \"" + FDevice.Label + "\" could not be opened: " + StreamError());
  }
  FBlock = static_cast<int>(frames);
  FInPtr.assign(info.inputChannels, nullptr);
  FOutPtr.assign(info.outputChannels, nullptr);
  FSilence.assign(frames, 0.0f);
}

void TRtAudioDriver::Start(TProcess Process) {
  if (!IsOpen()) throw TASIOHostError("The audio interface \"" + FDevice.Label + "\" is not open.");
  Stop();
  FProcess = std::move(Process);
  {
    std::lock_guard<std::mutex> lock(FErrorLock);
    FError.clear();
  }
  try {
    FAudio->startStream();
  } catch (const RtAudioError& e) {
    throw TASIOHostError("The audio interface \"" + FDevice.Label + "\" could not be started: " + e.getMessage());
  }
  if (!FAudio->isStreamRunning()) {
    throw TASIOHostError("The audio interface \"" + FDevice.Label + "\" could not be started: " + StreamError());
  }
  FStarted.store(true, std::memory_order_release);
}

void TRtAudioDriver::Stop() noexcept {
  FStarted.store(false, std::memory_order_release);
  try {
    if (FAudio && FAudio->isStreamRunning()) FAudio->stopStream();
  } catch (...) {
    // A device that has gone away cannot be stopped any further; nothing runs any more.
  }
}

void TRtAudioDriver::Close() noexcept {
  Stop();
  try {
    if (FAudio && FAudio->isStreamOpen()) FAudio->closeStream();
  } catch (...) {
  }
  TRtAudioDriver* self = this;
  GStreamOwner.compare_exchange_strong(self, nullptr);
  FBlock = 0;
}

int TRtAudioDriver::OnBlock(void* Out, void* In, unsigned Frames, unsigned Status) {
  if (Status != 0) FXRuns.fetch_add(1, std::memory_order_relaxed);
  auto* out = static_cast<float*>(Out);
  const auto* in = static_cast<const float*>(In);
  if (Frames > FSilence.size()) {
    // The server changed its block length under the running stream: play silence rather than overrun.
    if (out) std::memset(out, 0, sizeof(float) * Frames * FOutPtr.size());
    return 0;
  }
  for (std::size_t k = 0; k < FInPtr.size(); ++k) FInPtr[k] = in ? in + k * Frames : FSilence.data();
  for (std::size_t k = 0; k < FOutPtr.size(); ++k) FOutPtr[k] = out + k * Frames;
  if (FProcess) {
    FProcess(FInPtr.data(), static_cast<int>(FInPtr.size()), FOutPtr.data(), static_cast<int>(FOutPtr.size()),
             static_cast<int>(Frames));
  } else if (out) {
    std::memset(out, 0, sizeof(float) * Frames * FOutPtr.size());
  }
  return 0;
}
