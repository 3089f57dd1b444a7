#pragma once

#include "audio/TAudioDriver.h"
#include "audio/TVirtualRoom.h"

#include <atomic>
#include <memory>
#include <thread>

// The built-in audio interface: outputs go through a simulated room (TVirtualRoom) to every input.
// Its callback runs on its own thread, paced at real time or as fast as possible, or, with the stepped
// clock, on the owner's thread one block per RunBlocks step (deterministic tests). Configured by
// TVirtualRoomConfig (see there for the keys of VEMRA_VIRTUAL_ROOM).
class TVirtualInterface : public TAudioDriver {
public:
  explicit TVirtualInterface(const TVirtualRoomConfig& Config);
  ~TVirtualInterface() override;

  int InputChannelCount() const override { return FConfig.Inputs; }
  int OutputChannelCount() const override { return FConfig.Outputs; }
  int PreferredBufferSize() const override { return FConfig.Block; }
  int MinBufferSize() const override { return FConfig.BlockMin; }
  int MaxBufferSize() const override { return FConfig.BlockMax; }
  std::vector<int> SampleRates() const override;

  void Open(double Rate, int BufferSize) override;
  bool IsOpen() const override { return FRoom != nullptr; }
  int OpenBufferSize() const override { return FBlock; }
  void Start(TProcess Process) override;
  void Stop() noexcept override;
  void Close() noexcept override;
  bool IsRunning() const override { return FRunning.load(std::memory_order_acquire); }
  std::string StreamError() const override { return {}; }
  std::uint64_t XRunCount() const override { return FXRuns.load(std::memory_order_relaxed); }

  // Stepped clock: runs up to Count blocks on the calling thread; returns how many ran (0 when the
  // interface is not started or not stepped).
  int RunBlocks(int Count);

private:
  void RunOneBlock();
  void ThreadMain();

  TVirtualRoomConfig FConfig;
  double FRate = 0;
  int FBlock = 0;
  std::unique_ptr<TVirtualRoom> FRoom;
  TProcess FProcess;
  std::vector<std::vector<float>> FIn, FOut;
  std::vector<float*> FInPtr, FOutPtr;
  std::thread FThread;
  std::atomic<bool> FRunning{false};
  std::atomic<bool> FStopRequest{false};
  std::atomic<std::uint64_t> FXRuns{0};
};
