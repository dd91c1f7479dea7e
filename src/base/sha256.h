#pragma once
// SHA-256 (FIPS 180-4): the digest the binder prints for a bound executable
// and keeps with the program data, so that a damaged copy is refused whole.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kel {

class Sha256 {
 public:
  Sha256();
  // Adds [size] bytes at [data] to the message.
  void Update(const void* data, std::size_t size);
  // The digest of everything added; the object is spent afterwards.
  std::array<std::uint8_t, 32> Finish();
  // The digest as 64 lowercase hexadecimal digits.
  std::string FinishHex();

 private:
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t totalBytes_ = 0;
};

// The digest of [size] bytes at [data], as 64 lowercase hexadecimal digits.
std::string Sha256Hex(const void* data, std::size_t size);

}  // namespace kel
