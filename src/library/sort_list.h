#pragma once
// The temporary list that qsort and bsearch work on: copies of an array's
// first elements, each a variable of its own that the compare function gets
// by reference (and may change).

#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "engine/value.h"

namespace kel {

struct Context;

class SortList {
 public:
  SortList() = default;
  SortList(const SortList&) = delete;
  SortList& operator=(const SortList&) = delete;
  ~SortList();

  // Copies elements 0 to [count]-1 of [array].
  bool Load(Context& run, Var* array, std::int32_t count);
  std::uint32_t size() const { return count_; }
  // The variable of item [i] for one comparison, and its hand-back after it.
  // OPTIMIZATION: inline, as a sort makes two of each per comparison; what
  // is not a number in the list's storage goes the long way.
  Var* Hold(std::uint32_t i) {
    if (kind_ == KEL_UNKNOWN || !kept_.empty() || spareCount_ == 0) return HoldSlowly(i);
    return TakeSpare(i);
  }
  void Release(std::uint32_t i, Var* var) {
    const VarData* data = var->data;
    if (kind_ == KEL_UNKNOWN || !kept_.empty() || data->type != kind_ || data->dimension != 0 || IsElementRef(var) ||
        var->flags != 1 || data->refCount != 1 || data->containers != nullptr || spareCount_ == kSpares) {
      ReleaseSlowly(i, var);
      return;
    }
    // Unchanged but for its number, the variable serves the next Hold.
    CopyNumber(NumberAt(i), &data->payload);
    spare_[spareCount_++] = var;
  }
  // Assigns the items in [order] to elements 0, 1, ... of [array].
  bool Store(Context& run, Var* array, const std::vector<std::uint32_t>& order);

 private:
  // OPTIMIZATION: the items of an array of numbers stay numbers in storage
  // like the array's own, and become variables only while a comparison holds
  // them: a sort of many numbers needs a few bytes an item, not a variable.
  // An item the compare function turned into anything but such a number is
  // kept as its variable from then on.
  std::int8_t kind_ = KEL_UNKNOWN;  // the numbers' kind; KEL_UNKNOWN: variables only
  std::uint32_t count_ = 0;
  std::uint32_t stride_ = 0;
  std::vector<std::uint8_t> numbers_;
  std::unordered_map<std::uint32_t, Var*> kept_;
  // Variables handed back unchanged, for the next Hold (a comparison holds two).
  static constexpr std::uint32_t kSpares = 4;
  Var* spare_[kSpares] = {};
  std::uint32_t spareCount_ = 0;
  std::vector<Var*> vars_;  // every item, for arrays of anything else

  Var* HoldSlowly(std::uint32_t i);
  // A variable handed back before, holding item [i]'s number now.
  Var* TakeSpare(std::uint32_t i) {
    Var* var = spare_[--spareCount_];
    CopyNumber(&var->data->payload, NumberAt(i));
    return var;
  }
  void ReleaseSlowly(std::uint32_t i, Var* var);
  // Copies one number between the list's storage and a variable's payload,
  // at the numbers' own width.
  void CopyNumber(void* to, const void* from) const {
    switch (stride_) {  // OPTIMIZATION: fixed sizes, copied inline
      case 1: std::memcpy(to, from, 1); break;
      case 4: std::memcpy(to, from, 4); break;
      case 8: std::memcpy(to, from, 8); break;
      default: std::memcpy(to, from, stride_); break;
    }
  }
  // Where item [i]'s number is stored.
  std::uint8_t* NumberAt(std::uint32_t i) { return &numbers_[static_cast<std::size_t>(i) * stride_]; }
};

}  // namespace kel
