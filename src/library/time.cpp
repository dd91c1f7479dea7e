// Time: the run's clock, calendar time, and the tm structure of C as a
// script structure of nine integer members.

#include <chrono>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "engine/calls.h"
#include "engine/context.h"
#include "engine/macros.h"
#include "engine/value.h"
#include "library/arguments.h"
#include "library/format.h"
#include "library/groups.h"

namespace kel {

namespace {

// The members of tm in the order of C's structure, with their defaults.
struct TmMember {
  const char* name;
  int std::tm::*field;
  int fallback;
};

constexpr TmMember kTmMembers[] = {
    {"tm_sec", &std::tm::tm_sec, 0},   {"tm_min", &std::tm::tm_min, 0},   {"tm_hour", &std::tm::tm_hour, 0},
    {"tm_mday", &std::tm::tm_mday, 0}, {"tm_mon", &std::tm::tm_mon, 0},   {"tm_year", &std::tm::tm_year, 0},
    {"tm_wday", &std::tm::tm_wday, 0}, {"tm_yday", &std::tm::tm_yday, 0}, {"tm_isdst", &std::tm::tm_isdst, -1},
};

// Reads a structure as a tm: a missing member takes its default.
std::tm ReadTm(Var* structure) {
  std::tm value{};
  for (const TmMember& member : kTmMembers) {
    Var* var = FindMember(structure, member.name, false);
    value.*member.field = var != nullptr && IsNumericScalar(var) ? GetInt(var) : member.fallback;
  }
  return value;
}

void WriteTm(Context& run, Var* structure, const std::tm& value) {
  for (const TmMember& member : kTmMembers) SetMemberInt(run, structure, member.name, value.*member.field);
}

void ReturnTm(CallFrame& frame, const std::tm* value) {
  if (value == nullptr) {
    ReturnInt(frame, 0);
    return;
  }
  Var* result = NewVar(KEL_STRUCT);
  WriteTm(*frame.run, result, *value);
  SetReturn(frame, result, ReturnKind::HANDED_OVER);
}

// Hundredths of a second on a steady clock.
std::int64_t Hundredths() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() / 10;
}

// The time group's state: the clock reading when the run began.
struct ClockStart {
  std::int64_t hundredths;
};

void Time_clock(CallFrame& frame) {
  auto* start = static_cast<ClockStart*>(frame.libraryData);
  ReturnInt(frame, static_cast<std::int32_t>(Hundredths() - start->hundredths));
}

void Time_time(CallFrame& frame) {
  auto now = static_cast<std::int32_t>(std::time(nullptr));
  if (frame.argCount > 0) {
    Var* target = GetParameter(frame, 0, PARAM_ANY);
    if (target == nullptr || !StoreNumber(frame, target, now, KEL_INT)) return;
  }
  ReturnInt(frame, now);
}

void Time_difftime(CallFrame& frame) {
  std::int32_t later, earlier;
  if (GetInteger(frame, 0, later) && GetInteger(frame, 1, earlier)) {
    ReturnFloat(frame, static_cast<double>(later) - static_cast<double>(earlier));
  }
}

// gmtime's variant of the handler it shares with localtime.
constexpr std::uint32_t kUniversal = 1;

bool GetTime(CallFrame& frame, int i, std::time_t& value) {
  Var* var = GetParameter(frame, i, PARAM_LONG);
  if (var == nullptr) return false;
  value = static_cast<std::time_t>(GetInt(var));
  return true;
}

void Time_ctime(CallFrame& frame) {
  std::time_t value;
  if (!GetTime(frame, 0, value)) return;
  const char* text = std::ctime(&value);
  if (text == nullptr) ReturnInt(frame, 0);
  else ReturnString(frame, text);
}

void Time_gmtime(CallFrame& frame) {
  std::time_t value;
  if (!GetTime(frame, 0, value)) return;
  ReturnTm(frame, CalledVariant(frame) == kUniversal ? std::gmtime(&value) : std::localtime(&value));
}

// mktime(tm): the structure is normalised in place, all nine members written.
void Time_mktime(CallFrame& frame) {
  Var* structure = GetParameter(frame, 0, PARAM_STRUCT);
  if (structure == nullptr) return;
  std::tm value = ReadTm(structure);
  std::time_t result = std::mktime(&value);
  WriteTm(*frame.run, structure, value);
  // A time a 32-bit time_t cannot hold is the failure result, not a
  // wrapped-around one.
  if (result < INT32_MIN || result > INT32_MAX) result = -1;
  ReturnInt(frame, static_cast<std::int32_t>(result));
}

void Time_asctime(CallFrame& frame) {
  Var* structure = GetParameter(frame, 0, PARAM_STRUCT);
  if (structure == nullptr) return;
  const std::tm value = ReadTm(structure);
  // C's layout, with the day of the month padded as the C library's own
  // asctime and ctime pad it (a space on POSIX, a zero on Windows); formatted
  // here so that out-of-range members still name a day and a month.
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[96];
  static const bool zeroPadded = [] {
    std::tm fourth{};
    fourth.tm_mday = 4;
    fourth.tm_year = 70;
    const char* sample = std::asctime(&fourth);
    return sample != nullptr && sample[8] == '0';
  }();
  std::snprintf(text, sizeof text, zeroPadded ? "%.3s %.3s %.2d %.2d:%.2d:%.2d %d\n" : "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n",
                kDays[(value.tm_wday % 7 + 7) % 7],
                kMonths[(value.tm_mon % 12 + 12) % 12], value.tm_mday, value.tm_hour, value.tm_min, value.tm_sec,
                1900 + value.tm_year);
  ReturnString(frame, text);
}

// strftime(destination, [maximum,] format, tm).
void Time_strftime(CallFrame& frame) {
  const int formatAt = frame.argCount == 4 ? 2 : 1;
  std::int32_t maximum = 1000;
  if (frame.argCount == 4 && !GetInteger(frame, 1, maximum)) return;
  const char* format = GetString(frame, formatAt);
  if (format == nullptr) return;
  std::string pattern = format;
  Var* structure = GetParameter(frame, formatAt + 1, PARAM_STRUCT);
  if (structure == nullptr) return;
  std::tm value = ReadTm(structure);
  std::string text(maximum > 0 ? static_cast<std::size_t>(maximum) : 0, '\0');
  std::size_t count = maximum > 0 ? std::strftime(text.data(), text.size(), pattern.c_str(), &value) : 0;
  Var* destination = GetDestination(frame, 0, true);
  if (destination == nullptr) return;
  StoreBytes(destination, text.data(), count, true);
  ReturnInt(frame, static_cast<std::int32_t>(count));
}

void* StartTime(Context&, void*) { return new ClockStart{Hundredths()}; }
void EndTime(Context&, void* state) { delete static_cast<ClockStart*>(state); }
void TimeConstants(MacroTable& macros) { macros.Define("CLOCKS_PER_SEC", 100L); }

constexpr LibraryEntry kTimeRows[] = {
    {"clock",     Time_clock,    0, 0},
    {"difftime",  Time_difftime, 2, 2},
    {"mktime",    Time_mktime,   1, 1},
    {"time",      Time_time,     0, 1},
    {"asctime",   Time_asctime,  1, 1},
    {"ctime",     Time_ctime,    1, 1},
    {"gmtime",    Time_gmtime,   1, 1, kUniversal},
    {"localtime", Time_gmtime,   1, 1},
    {"strftime",  Time_strftime, 3, 4},
};

}  // namespace

const LibraryGroup kTimeGroup{GROUP_TIME, kTimeRows, StartTime, EndTime, TimeConstants};

}  // namespace kel
