// The two exports of the module.
#include <cstdint>

#include "core/cycle.h"
#include "core/event_queue.h"
#include "core/initialise.h"
#include "host/codes.h"
#include "output/console.h"
#include "platform/platform.h"
#include "services/host_services.h"
#include "tallyguard/host_interface.h"

extern "C" {

TG_API intptr_t TG_CALL ca(HostInterface* host, int32_t budget_ms) {
  if (budget_ms < 0) {
    HandleOneEvent(host);
    return 0;
  }
  return RunCycle(host, budget_ms);
}

TG_API intptr_t TG_CALL cb(HostInterface* host, int32_t code, int32_t length, const void* data, int32_t retries) {
  if (ModuleHalted()) return 0;
  if (code > TG_EVENT_LAST_QUEUED) return AnswerCode(code, length, data, PlatformTick());

  RememberHost(host);
  if (!Initialise(host, PlatformTick())) {
    ConsolePrint(0, "(A) %s", InitFailure());
    return reinterpret_cast<intptr_t>(TG_ERROR_INIT);
  }
  const char* refused = QueueEvent(code, length, data, retries);
  if (refused != nullptr) return reinterpret_cast<intptr_t>(refused);
  if (code == TG_EVENT_CONSOLE_LINE) RunNextCycleAtOnce();
  return 0;
}

}  // extern "C"
