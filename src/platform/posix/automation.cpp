// Automation on POSIX: there is none; the group reports that it cannot start.

#include "platform/automation.h"

namespace kel::platform {

bool StartAutomation() { return false; }
void EndAutomation() {}

void* OpenAutomationObject(const std::string&, AutomationError& error) {
  error = {};
  return nullptr;
}

void HoldAutomationObject(void*) {}
void ReleaseAutomationObject(void*) {}

bool InvokeAutomation(void*, const std::string&, int, std::span<const AutomationValue>, AutomationValue& result,
                      AutomationError& error) {
  result = {};
  error = {};
  return false;
}

}  // namespace kel::platform
