#include "audio/TVirtualInterface.h"

#include <algorithm>
#include <chrono>
#include <string>

TVirtualInterface::TVirtualInterface(const TVirtualRoomConfig& Config) : FConfig(Config) {}

TVirtualInterface::~TVirtualInterface() { Close(); }

std::vector<int> TVirtualInterface::SampleRates() const {
  std::vector<int> rates = FConfig.Rates;
  std::sort(rates.begin(), rates.end());
  rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
  return rates;
}

void TVirtualInterface::Open(double Rate, int BufferSize) {
  Stop();
  const auto rates = SampleRates();
  if (std::find(rates.begin(), rates.end(), static_cast<int>(Rate)) == rates.end() ||
      static_cast<double>(static_cast<int>(Rate)) != Rate) {
    throw TASIOHostError("The virtual interface does not support the sample rate " +
                         std::to_string(static_cast<long long>(Rate)) + " Hz.");
  }
  const int block = std::clamp(BufferSize > 0 ? BufferSize : FConfig.Block, FConfig.BlockMin, FConfig.BlockMax);
  if (FRoom && FRate == Rate && FBlock == block) return;
  FRoom.reset();
  FRoom = std::make_unique<TVirtualRoom>(FConfig, Rate, block);
  FRate = Rate;
  FBlock = block;
  const std::size_t n = static_cast<std::size_t>(block);
  FIn.assign(static_cast<std::size_t>(FConfig.Inputs), std::vector<float>(n, 0.0f));
  FOut.assign(static_cast<std::size_t>(FConfig.Outputs), std::vector<float>(n, 0.0f));
  FInPtr.clear();
  FOutPtr.clear();
  for (auto& c : FIn) FInPtr.push_back(c.data());
  for (auto& c : FOut) FOutPtr.push_back(c.data());
}

void TVirtualInterface::Start(TProcess Process) {
  if (!FRoom) throw TASIOHostError("The virtual interface is not open.");
  Stop();
  FProcess = std::move(Process);
  FRoom->Reset();
  // The first block the handler sees already carries the noise floor, as on a real interface: the room
  // hears one block of silence before anything is played.
  for (auto& c : FOut) std::fill(c.begin(), c.end(), 0.0f);
  FRoom->Process(FOut.front().data(), FInPtr);
  FStopRequest.store(false, std::memory_order_relaxed);
  FRunning.store(true, std::memory_order_release);
  if (FConfig.Clock != TVirtualClock::Stepped) FThread = std::thread([this] { ThreadMain(); });
}

void TVirtualInterface::Stop() noexcept {
  FStopRequest.store(true, std::memory_order_release);
  if (FThread.joinable()) FThread.join();
  FRunning.store(false, std::memory_order_release);
}

void TVirtualInterface::Close() noexcept {
  Stop();
  FRoom.reset();
  FBlock = 0;
  FRate = 0;
}

void TVirtualInterface::RunOneBlock() {
  for (auto& c : FOut) std::fill(c.begin(), c.end(), 0.0f);
  if (FProcess) {
    FProcess(FInPtr.data(), static_cast<int>(FInPtr.size()), FOutPtr.data(), static_cast<int>(FOutPtr.size()),
             FBlock);
  }
  // What was played now is heard from the next block on.
  FRoom->Process(FOut.front().data(), FInPtr);
}

int TVirtualInterface::RunBlocks(int Count) {
  if (FConfig.Clock != TVirtualClock::Stepped || !FRunning.load(std::memory_order_acquire)) return 0;
  for (int i = 0; i < Count; ++i) RunOneBlock();
  return std::max(Count, 0);
}

void TVirtualInterface::ThreadMain() {
  using clock = std::chrono::steady_clock;
  const auto period = std::chrono::duration_cast<clock::duration>(
      std::chrono::duration<double>(static_cast<double>(FBlock) / FRate));
  auto due = clock::now();
  while (!FStopRequest.load(std::memory_order_acquire)) {
    RunOneBlock();
    if (FConfig.Clock == TVirtualClock::FreeRunning) continue;
    due += period;
    const auto now = clock::now();
    if (now > due + period) {
      // The handler took longer than a block: a real interface would drop out here.
      FXRuns.fetch_add(1, std::memory_order_relaxed);
      due = now;
    }
    std::this_thread::sleep_until(due);
  }
}
