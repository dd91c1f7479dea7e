#pragma once
// The one conversion engine between script values and bytes, driven by a
// data description: a byte count, a fixed-width binary type (UWORD8 to
// FLOAT80), or a structure of descriptions whose "_" members are fillers.
// Multi-byte numbers honour _BigEndianMode, read afresh on every conversion.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace kel {

struct CallFrame;
struct Var;

// The byte size of [description]; false after raising 5116.
bool DescriptionSize(CallFrame& frame, Var* description, std::uint32_t& size);

// True when [description] is a plain byte count (a non-negative number).
bool IsByteCount(Var* description);

// Writes [value] as [description] into [area] ([size] bytes, the size of the
// description). False after raising an error about the value.
bool WriteValue(CallFrame& frame, Var* value, Var* description, std::uint8_t* area, std::uint32_t size);

// Reads [description] from [count] bytes at [bytes] into [target]. With
// [partial] a byte count description takes what arrived.
bool ReadValue(CallFrame& frame, const std::uint8_t* bytes, std::uint32_t count, Var* description, Var* target,
               bool partial);

// Reads up to [size] bytes from [stream] into [bytes] in pieces (a large
// count reserves only what arrives); returns how many arrived.
std::size_t ReadBlock(std::FILE* stream, std::uint32_t size, std::vector<std::uint8_t>& bytes);

// Converts [value] as [description] and writes it to [stream]; [written] is
// the number of bytes the stream took.
bool WriteBlock(CallFrame& frame, Var* value, Var* description, std::FILE* stream, std::size_t& written);

// Whether the run's _BigEndianMode is true now.
bool BigEndianMode(CallFrame& frame);

}  // namespace kel
