#pragma once
// A host for unit tests: collects error output instead of printing it.

#include <string>

#include "base/host.h"

namespace kel {

class TestHost final : public Host {
 public:
  void WriteErrorMessage(const char* message) override { errors += message, errors += '\n'; }
  void WriteErrorLocation(const char* line) override { errors += line, errors += '\n'; }
  void ShowFatal(const char* message) override { errors += message; }
  std::string_view SavedSearchPath() override { return {}; }
  const char* ProgramName() const override { return "VetraC32"; }
  std::span<const char* const> PlatformMacros() const override { return {}; }

  std::string errors;
};

}  // namespace kel
