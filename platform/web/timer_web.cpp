// Web multimedia timers: fired from the page's animation frame (platform::web::FireTimers).
#include "platform/common/side.h"
#include "platform/common/timer_pump.h"
#include "platform/platform.h"
#include "platform/web/web_side.h"

namespace platform {

namespace {

common::TimerPump& Pump() {
  static common::TimerPump pump(side::kFirstManualTimerId);
  return pump;
}

}  // namespace

namespace side {

uint32_t StartPeriodicTimer(uint32_t delay, uint32_t /*resolution*/, TimerCallback callback,
                            void* user) {
  return Pump().Start(delay, callback, user);
}

bool KillTimer(uint32_t id) { return Pump().Kill(id); }

}  // namespace side

bool BeginTimerPeriod(uint32_t) { return true; }
bool EndTimerPeriod(uint32_t) { return true; }

namespace web {

int32_t FireTimers(double nowMs) { return Pump().Fire(nowMs); }

}  // namespace web
}  // namespace platform
