#pragma once

#include "audio/TASIOGeneratorTone.h"
#include "audio/TAudioMessageQueue.h"
#include "dsp/PinkNoiseGenA.h"
#include "dsp/RTAEngineIEC1.h"
#include "room/TSweepRecorder.h"
#include "room/uRT60Complete.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class TASIOHost;

// The block handler of the audio interface and everything it shares with the user interface. Once per
// audio block, on the interface's thread, AsioHostBufferSwitch32 copies the inputs into InputBlocks and
// notes their peaks, plays the signal the signal state asks for (pink noise, sine, sweep or silence)
// times dbAmpPink on every output, records the room sweep and counts its tail, feeds the measured
// channel's level engine and hands its band levels over when the display has asked for them. It tells
// the user interface about events only through Messages (0x464 ... 0x467).
//
// Signal states (the atomic given at construction, normally IniData.Pnoise_Testsignal): 0 off,
// 1 pink noise, 2 sine, 3 room sweep running, 4 room sweep armed (pre-roll block), 5 generator sweep,
// -1 idle after a sweep, -99 tail recording after a room sweep (any value <= -10 counts as -99).
//
// Threads and ownership. The main window owns one dispatcher. Everything the callback touches is
// allocated by the user-interface thread while the stream is stopped: CreateEngines, PrepareBuffers,
// the recorder and the pipeline's sweep. While streaming, the two threads meet only here:
//  - the signal state, dbAmpPink, ChannelInputMap, byASIOMesskanalStart, SkipBlocks, TailBlocks and
//    InputPeaks are atomics. The callback reads the signal state once per block and writes its own
//    transitions back with compare-and-swap, so a state the user interface writes in the meantime (a
//    stop) is never overwritten;
//  - band levels travel by handshake: the callback writes BandLevels[m] and BandCentres only while
//    BandDataRequested is true, then clears it (release) and posts 0x464. The display reads them in its
//    0x464 handler (after an acquire load of the flag, which it finds false) and sets the flag again
//    (release) when it is done. Nothing else may read BandLevels or BandCentres while streaming;
//  - settings of the engines (weighting, reset, time weighting) go through the engines' own requests,
//    which the engine applies at the start of its next block; the measured channel and the input
//    assignment are atomics read once per block. RequestMeasuredChannel etc. wrap this;
//  - the callback never blocks, locks, allocates or logs; a full message queue drops and counts.
class TAudioDispatcher {
public:
  static constexpr int MaxInputs = 10;  // inputs read from the interface
  static constexpr int MaxActiveChannels = 4;  // analyzer channels Ch1 ... Ch4
  // After the room sweep has ended, recording goes on at least this long, and further until the
  // recorder is full (see RoomTailBlocks).
  static constexpr int TailSamples = 8192;

  explicit TAudioDispatcher(std::atomic<std::int32_t>& SignalState, float SampleRate = 48000.0f);
  TAudioDispatcher(const TAudioDispatcher&) = delete;
  TAudioDispatcher& operator=(const TAudioDispatcher&) = delete;

  // --- set-up, user-interface thread, stream stopped ---------------------------------------------
  // Makes the host call AsioHostBufferSwitch32 for every block.
  void AttachTo(TASIOHost& Host);
  // Creates Count (<= 4) level engines for the rate and resolution, each at time weighting TimeWeight.
  void CreateEngines(float SampleRate, int BandsPerOctave, TRTATimeWeight TimeWeight,
                     int Count = MaxActiveChannels);
  // InputBlocks (10 arrays), GeneratorBlock (1 array of 2 x BufferSize), InputPeaks for ChannelCountIn
  // inputs (at most 10), BandLevels (one array per engine, every band at FloorLevel) and the tone
  // source's rate and block length. Requires the engines.
  void PrepareBuffers(int BufferSize, int ChannelCountIn, float SampleRate, float FloorLevel);
  int PreparedBufferSize() const { return FBufferSize; }
  int ChannelCountIn() const { return FChannelCountIn; }

  // --- settings while streaming (user-interface thread) -----------------------------------------
  // Measured channel k: every engine is reset at its next block, then channel k is fed.
  void RequestMeasuredChannel(int Channel);
  void RequestWeighting(TFreqWeighting Weighting);
  void SetTimeWeight(TRTATimeWeight TimeWeight);

  // --- the block handler (audio thread) ----------------------------------------------------------
  void AsioHostBufferSwitch32(std::span<const float* const> InBuffer, std::span<float* const> OutBuffer,
                              int Frames);

  // --- shared state ---------------------------------------------------------------------------
  std::atomic<std::int32_t>& Pnoise_Testsignal;
  std::atomic<float> dbAmpPink{0.0f};
  std::vector<std::vector<float>> InputBlocks;
  std::array<std::atomic<float>, MaxInputs> InputPeaks{};
  std::vector<std::vector<float>> GeneratorBlock;
  std::array<std::atomic<std::uint8_t>, MaxActiveChannels> ChannelInputMap{};
  std::atomic<std::uint8_t> byASIOMesskanalStart{0};
  std::array<std::unique_ptr<TRTAEngineIEC1>, MaxActiveChannels> RTAEngineIEC1;
  std::atomic<std::int32_t> SkipBlocks{0};
  std::atomic<bool> BandDataRequested{true};
  std::vector<std::vector<float>> BandLevels;
  std::vector<float> BandCentres;
  std::atomic<std::int32_t> TailBlocks{-1};
  std::unique_ptr<TSweepRecorder> SweepRecorder;
  std::unique_ptr<TRTPipeline> RT;
  TPinkNoiseGeneratorA pinknoiseA{-1.0};
  TASIOGeneratorTone FSine;
  TAudioMessageQueue Messages;

  // Blocks handled since creation, and blocks that could not be handled because the interface
  // delivered more samples than the buffers were prepared for (the outputs stay silent then).
  std::uint64_t BlockCount() const { return FBlockCount.load(std::memory_order_relaxed); }
  std::uint64_t OversizedBlocks() const { return FOversized.load(std::memory_order_relaxed); }

private:
  // Blocks to record after the block in which the room sweep ended. A fixed 8192 samples would cut off the
  // reverberation of the sweep's last, highest frequencies (decay times read several percent short, in
  // long rooms tens of percent); the recorder holds twice the sweep, so recording on until it is full
  // gives the decay as long as the sweep itself, which the room type has already matched to the room.
  std::int32_t RoomTailBlocks(int Frames) const;

  int FBufferSize = 0;
  int FChannelCountIn = 0;
  std::atomic<std::uint64_t> FBlockCount{0};
  std::atomic<std::uint64_t> FOversized{0};
};
