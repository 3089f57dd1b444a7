#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// A failure of the audio interface, with a message fit to show the user.
class TASIOHostError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// One audio interface as the host sees it: the virtual interface or a device of RtAudio. Opening
// creates the stream at a rate and block length (the interface may choose another block length, which
// OpenBufferSize then tells); Start runs Process once per block on the interface's thread until Stop.
// Failures throw TASIOHostError; problems during streaming are reported by StreamError and XRunCount.
class TAudioDriver {
public:
  // Per channel an array of Frames samples (inputs read-only), full scale +-1.0.
  using TProcess = std::function<void(const float* const* In, int Inputs, float* const* Out, int Outputs,
                                      int Frames)>;

  virtual ~TAudioDriver() = default;

  virtual int InputChannelCount() const = 0;
  virtual int OutputChannelCount() const = 0;
  virtual int PreferredBufferSize() const = 0;
  virtual int MinBufferSize() const = 0;
  virtual int MaxBufferSize() const = 0;
  // Every rate the interface accepts, ascending.
  virtual std::vector<int> SampleRates() const = 0;

  // Also on an open interface: it is stopped and opened again with these values.
  virtual void Open(double Rate, int BufferSize) = 0;
  virtual bool IsOpen() const = 0;
  virtual int OpenBufferSize() const = 0;
  virtual void Start(TProcess Process) = 0;
  // Returns when no Process call runs any more and none will start.
  virtual void Stop() noexcept = 0;
  virtual void Close() noexcept = 0;
  // False once the stream has stopped on its own (device removed, server gone).
  virtual bool IsRunning() const = 0;
  // Why the stream failed while running; empty while it is fine.
  virtual std::string StreamError() const = 0;
  virtual std::uint64_t XRunCount() const = 0;
};
