#pragma once

#include <mutex>

// FFTW makes and destroys plans through one planner shared by the whole process, and that planner is
// not thread-safe (two threads planning at once corrupt it). Every plan in the program is therefore
// made and destroyed while a TFftwPlanLock is held:
//   { const TFftwPlanLock lock; plan = fftwf_plan_dft_r2c_1d(...); }
// Executing a finished plan (fftwf_execute, fftwf_execute_dft_r2c, ...) needs no lock and may run on
// any thread, also while another thread plans.
class TFftwPlanLock {
public:
  TFftwPlanLock() : FLock(Mutex()) {}
  TFftwPlanLock(const TFftwPlanLock&) = delete;
  TFftwPlanLock& operator=(const TFftwPlanLock&) = delete;

private:
  static std::mutex& Mutex();
  std::lock_guard<std::mutex> FLock;
};
