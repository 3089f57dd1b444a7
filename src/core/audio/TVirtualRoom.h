#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

class TPartitionedConvolver;

// How the virtual interface's blocks are paced.
enum class TVirtualClock {
  RealTime,  // own thread, one block per block period (sleep-until pacing)
  FreeRunning,  // own thread, blocks as fast as the handler allows
  Stepped,  // no thread: the owner runs blocks one by one (TVirtualInterface::RunBlocks)
};

class TVirtualRoomError : public std::invalid_argument {
public:
  using std::invalid_argument::invalid_argument;
};

// What the virtual interface simulates. Every key can be given in the environment variable
// VEMRA_VIRTUAL_ROOM as "key=value" pairs separated by ";" (spaces allowed), for example
//   VEMRA_VIRTUAL_ROOM="rt60=0.8;noise=-80;latency=512;inputs=8;block=512;rates=44100,48000"
// Keys:
//   rt60=S          reverberation time of the room in seconds (0.05 ... 20), default 0.8
//   rt60_F=S        reverberation time of the octave band with centre F (63, 125, 250, 500, 1000, 2000,
//                   4000, 8000); bands not given use rt60
//   noise=DB        noise floor at every input in dBFS RMS (white, independent per input), at most 0;
//                   "off" or a value at or below -200 for none; default -80
//   latency=N       direct-sound delay in samples on top of the one block every round trip takes
//                   (output block k is heard from input block k+1 on); default 256
//   gain=DB         gain of the path from output 1 to the inputs (direct sound amplitude), -200 ... 40,
//                   default 0
//   tail=DB         level of the reverberant tail right after the direct sound, relative to it, in dB
//                   (standard deviation of the tail's first samples); default -26
//   inputs=N        input channels (1 ... 64), default 4
//   outputs=N       output channels (1 ... 64), default 2
//   block=N         preferred block length (16 ... 16384), default 1024
//   block_min=N, block_max=N   shortest and longest block length accepted, defaults 64 and 8192
//   rates=R1,R2,... sample rates the interface accepts, default 44100,48000,88200,96000,192000
//   seed=N          seed of the noise of the tail and of the noise floor, default 1
//   clock=realtime|free   pacing of the callback thread, default realtime
// Each input hears output 1 through the room: direct sound after the delay, then an exponentially
// decaying noise tail whose energy falls by 60 dB in the band's rt60, plus the noise floor.
struct TVirtualRoomConfig {
  double RT60 = 0.8;
  std::map<int, double> OctaveRT60;  // centre frequency -> seconds
  double NoisedBFS = -80.0;
  int Latency = 256;
  double GaindB = 0.0;
  double TaildB = -26.0;
  int Inputs = 4;
  int Outputs = 2;
  int Block = 1024;
  int BlockMin = 64;
  int BlockMax = 8192;
  std::vector<int> Rates{44100, 48000, 88200, 96000, 192000};
  std::uint32_t Seed = 1;
  TVirtualClock Clock = TVirtualClock::RealTime;

  static const std::vector<int>& OctaveCentres();
  // Reverberation time of the octave band with the given centre.
  double RT60At(int OctaveCentre) const;
  // Applies "key=value;..." on top of this configuration. Throws TVirtualRoomError naming the key.
  void Apply(const std::string& Text);
  // The defaults with VEMRA_VIRTUAL_ROOM applied (when set).
  static TVirtualRoomConfig FromEnvironment();
};

// The signal path of the virtual interface: output 1 -> room -> every input. The room is an impulse
// response built once per rate and block length: a unit direct sound after the delay, followed by
// white noise cut into octave bands (complementary raised-cosine crossovers in the frequency domain,
// so the bands add back to the unfiltered noise), each band multiplied by exp(-6.91 t / rt60 of the
// band). The tail's energy therefore decays exactly exponentially with the configured reverberation
// time in every octave. The response runs until the tail is 100 dB below the direct sound and is
// applied by partitioned FFT convolution, so a long room costs little per block.
class TVirtualRoom {
public:
  TVirtualRoom(const TVirtualRoomConfig& Config, double SampleRate, int BlockLength);
  ~TVirtualRoom();
  TVirtualRoom(const TVirtualRoom&) = delete;
  TVirtualRoom& operator=(const TVirtualRoom&) = delete;

  const std::vector<float>& ImpulseResponse() const { return FResponse; }
  int BlockLength() const { return FBlock; }

  // Takes one block of output 1 and returns, for every input, the block the inputs hear next time.
  // Output1 holds BlockLength samples; Inputs has one array of BlockLength samples per input.
  void Process(const float* Output1, std::span<float* const> Inputs);
  void Reset();

private:
  TVirtualRoomConfig FConfig;
  int FBlock;
  std::vector<float> FResponse;
  std::unique_ptr<TPartitionedConvolver> FConvolver;
  std::vector<float> FWet;
  std::vector<std::uint64_t> FNoiseState;  // per input
  float FNoiseAmp;
};
