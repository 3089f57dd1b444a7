#include "dsp/TFftwPlanLock.h"

std::mutex& TFftwPlanLock::Mutex() {
  static std::mutex m;
  return m;
}
