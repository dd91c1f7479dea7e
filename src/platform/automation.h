#pragma once
// Automation (OLE) servers through IDispatch: objects opened by ProgID,
// members invoked by name, and the values that travel both ways. POSIX has
// no automation: StartAutomation fails there.

#include <cstdint>
#include <span>
#include <string>

namespace kel::platform {

// A value passed to or returned from a member.
struct AutomationValue {
  enum Kind : std::uint8_t { INTEGER, REAL, TEXT, OBJECT } kind = INTEGER;
  std::int32_t integer = 0;
  double real = 0;
  std::string text;        // ANSI code page
  void* object = nullptr;  // an IDispatch; a returned one carries a reference for the caller
};

// Why the last call returned nothing useful: its status and the server's
// description of its exception, when it gave one.
struct AutomationError {
  std::int32_t code = 0;
  std::string text;
};

// Initializes automation for the calling thread (OleInitialize); false when
// it cannot be (always on POSIX).
bool StartAutomation();
void EndAutomation();

// The running instance of [progId], or a new one, as an IDispatch holding
// one reference; null with [error] set.
void* OpenAutomationObject(const std::string& progId, AutomationError& error);
void HoldAutomationObject(void* object);
void ReleaseAutomationObject(void* object);

// Invokes [member] of [object] as a method (1), property get (2) or put (4)
// with [arguments] in the member's order. False with [error] set when the
// member is unknown or the call failed; [result] is then an integer 0.
// Numbers come back as INTEGER (changed to a 32-bit integer, 0 when they
// cannot be) or REAL (4- and 8-byte floats), text as TEXT, objects as OBJECT.
bool InvokeAutomation(void* object, const std::string& member, int flag, std::span<const AutomationValue> arguments,
                      AutomationValue& result, AutomationError& error);

}  // namespace kel::platform
