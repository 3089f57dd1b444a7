#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "room/TRT60Model.h"
#include "room/uRT60Complete.h"

class TASIOHost;
class TAudioDispatcher;
struct TAudioMessage;

// What became of one sweep measurement.
struct TRT60MeasurementResult {
  enum TKind {
    Added,     // analysed and added to the model
    Refused,   // level range too small: Message is the warning shown to the user
    Unusable,  // the recording gave no impulse response that can be analysed: Message says why
  };
  TKind Kind = Unusable;
  std::string Message;
  TAverageStatus Average = TAverageStatus::Ok;  // averaging after the measurement was added
  int LevelMax = 0, LevelMin = 0;               // level extremes seen while the sweep played
};

// One room measurement through the audio interface as the room window runs it: the sweep for the room
// type's duration and the measuring range's frequencies, one block of pre-roll, the sweep, a tail until
// the recorder of twice the sweep is full, the level meter on every block (message 0x467), and on message 0x465 the level-range
// check, the impulse-response chain and the analysis into the model.
//
// Everything runs on the thread that owns the model (the user-interface thread); the audio callback only
// posts messages. The dispatcher's pipeline must be the one the model analyses with.
class TRT60Measurement {
public:
  TRT60Measurement(TASIOHost& Host, TAudioDispatcher& Dispatcher, TRT60Model& Model);

  // Arms and starts a measurement of the model's input (Messkanal) at a sweep level in dB: generates and
  // loads the sweep, resets the level extremes, sets the output gain, routes the input to the first
  // analyzer channel and measures that channel with Z weighting, creates a recorder of twice the sweep
  // length, puts the dispatcher into its pre-roll state and starts the stream. Marks the model's
  // measurements unsaved. Throws what the host throws when the stream cannot start (then nothing runs).
  void Start(int SweepLevelDb);
  // Signal state off, stream stopped, sweep stopped (also when the user cancels).
  void Stop();

  // Handles one message of the audio callback. 0x467 updates the level meter; 0x465 stops the stream and
  // finishes the measurement (Finished() then holds the result). Other messages are ignored.
  void HandleMessage(const TAudioMessage& Message);

  // 0x467: the peak of the measured input in the last block enters the level extremes; returns the level.
  int HandleLevelMeter();
  // 0x465: stops the stream, checks the level range, runs the chain and adds the measurement.
  TRT60MeasurementResult HandleRecordingDone();

  bool Finished() const { return FFinished; }
  const TRT60MeasurementResult& Result() const { return FResult; }
  int LastLevel() const { return FLastLevel; }

  // Of the measurement in progress (or the last one): sweep duration, start and stop frequency, and the
  // recorder's progress in samples (for a progress display).
  int SweepSeconds() const { return FSweepSec; }
  std::uint16_t SweepStartHz() const { return FStartHz; }
  std::uint16_t SweepStopHz() const { return FStopHz; }
  std::int64_t RecordedSamples() const;
  std::int64_t ExpectedSamples() const;
  // The impulse response of the last measurement that passed the level check (empty otherwise).
  const std::vector<float>& ImpulseResponse() const { return FImpulseResponse; }

private:
  TASIOHost& FHost;
  TAudioDispatcher& FD;
  TRT60Model& FModel;
  TSweepBuffer FSweep;
  int FSweepSec = 7;
  std::uint16_t FStartHz = 18, FStopHz = 21000;
  int FInput = 0;
  bool FRunning = false;
  bool FFinished = false;
  int FLastLevel = 0;
  TRT60MeasurementResult FResult;
  std::vector<float> FImpulseResponse;
};
