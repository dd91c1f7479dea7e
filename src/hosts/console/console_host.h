#pragma once
// The console program's host: errors and fatal messages on the standard error
// stream, the saved search path from the registry, and the platform macros.

#include <string>

#include "front/host.h"

namespace kel {

class ConsoleHost final : public Host {
 public:
  void WriteErrorMessage(const char* message) override;
  void WriteErrorLocation(const char* line) override;
  void ShowFatal(const char* message) override;
  std::string_view SavedSearchPath() override;
  const char* ProgramName() const override { return "VetraC32"; }
  std::span<const char* const> PlatformMacros() const override;

 private:
  bool searchPathUnread_ = true;
  std::string searchPath_;
};

}  // namespace kel
