#include "room/TRT60Measurement.h"

#include <algorithm>

#include "audio/TASIOHost.h"
#include "audio/TAudioDispatcher.h"
#include "dsp/LevelFactor.h"
#include "room/TSweepRecorder.h"

TRT60Measurement::TRT60Measurement(TASIOHost& Host, TAudioDispatcher& Dispatcher, TRT60Model& Model)
    : FHost(Host), FD(Dispatcher), FModel(Model) {}

void TRT60Measurement::Start(int SweepLevelDb) {
  // The recorder and the sweep are replaced only while the stream is stopped.
  Stop();
  FModel.MeasurementsUnsaved = true;
  FFinished = false;
  FResult = {};
  FImpulseResponse.clear();

  // Sweep of the room type's duration over the measuring range's frequencies.
  FSweepSec = FModel.SweepDauerSec();
  TRT60Model::SetSweepFrequenzStartStop(FModel.Range(), FStartHz, FStopHz);
  FSweep = FD.RT->GenerateLogSweep_RTA(FStartHz, FStopHz, static_cast<float>(FSweepSec));
  FD.RT->LoadSweep(FSweep);
  FD.RT->StartSweep();

  FModel.RT60LevelReset();
  FD.dbAmpPink.store(LevelToFactor(SweepLevelDb), std::memory_order_relaxed);

  // The measured input goes to the first analyzer channel, which is measured (Z weighting).
  FInput = std::clamp(FModel.Messkanal, 0, TAudioDispatcher::MaxInputs - 1);
  FD.ChannelInputMap[0].store(static_cast<std::uint8_t>(FInput), std::memory_order_relaxed);
  FD.RequestMeasuredChannel(0);
  FD.RequestWeighting(fwZ);

  FD.SweepRecorder = std::make_unique<TSweepRecorder>(static_cast<std::int32_t>(2 * FSweep->size()));
  FD.TailBlocks.store(-1, std::memory_order_relaxed);
  FD.SkipBlocks.store(0, std::memory_order_relaxed);
  FD.BandDataRequested.store(true, std::memory_order_release);
  FD.Messages.Clear();
  FD.Pnoise_Testsignal.store(4, std::memory_order_release);
  try {
    FHost.SetActive(true);
  } catch (...) {
    FD.Pnoise_Testsignal.store(0, std::memory_order_release);
    FD.RT->StopSweep();
    throw;
  }
  FRunning = true;
}

void TRT60Measurement::Stop() {
  FD.Pnoise_Testsignal.store(0, std::memory_order_release);
  FHost.SetActive(false);
  FD.RT->StopSweep();
  FRunning = false;
}

void TRT60Measurement::HandleMessage(const TAudioMessage& Message) {
  if (!FRunning) return;
  if (Message.Msg == WM_ROOM_LEVEL_METER) {
    HandleLevelMeter();
  } else if (Message.Msg == WM_ROOM_RECORDING_DONE) {
    FResult = HandleRecordingDone();
    FFinished = true;
  }
}

int TRT60Measurement::HandleLevelMeter() {
  FLastLevel = FModel.RT60LevelMeter(FD.InputPeaks[static_cast<std::size_t>(FInput)].load(std::memory_order_relaxed));
  return FLastLevel;
}

TRT60MeasurementResult TRT60Measurement::HandleRecordingDone() {
  Stop();
  TRT60MeasurementResult r;
  r.LevelMax = FModel.RT60LevelMax();
  r.LevelMin = FModel.RT60LevelMin();
  if (const auto warning = FModel.RT60LevelCheck()) {
    r.Kind = TRT60MeasurementResult::Refused;
    r.Message = *warning;
    return r;
  }
  FImpulseResponse = FD.RT->ImpulseResponseFromRecording(FD.SweepRecorder->GetBuffer(), *FSweep,
                                                         static_cast<float>(FSweepSec));
  if (FImpulseResponse.empty()) {
    r.Kind = TRT60MeasurementResult::Unusable;
    r.Message = "The recording gave no usable impulse response.";
    return r;
  }
  const TRT60MessenResult added = FModel.RT60Messen(FImpulseResponse, FD.RT->SampleRate());
  if (!added.Added) {
    r.Kind = TRT60MeasurementResult::Unusable;
    r.Message = added.Message;
    return r;
  }
  r.Kind = TRT60MeasurementResult::Added;
  r.Average = added.Average;
  return r;
}

std::int64_t TRT60Measurement::RecordedSamples() const {
  return FD.SweepRecorder ? FD.SweepRecorder->WriteIndex() : 0;
}

std::int64_t TRT60Measurement::ExpectedSamples() const {
  // The recording goes on until the recorder is full.
  return FD.SweepRecorder ? FD.SweepRecorder->Length() : 0;
}
