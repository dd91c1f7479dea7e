#include "library/sort_list.h"

#include <cstring>

#include "engine/calls.h"
#include "engine/operand.h"
#include "engine/quick.h"

namespace kel {

SortList::~SortList() {
  for (Var* var : vars_) ReleaseVar(var);
  for (std::uint32_t k = 0; k < spareCount_; ++k) ReleaseVar(spare_[k]);
  for (auto& [index, var] : kept_) ReleaseVar(var);
}

bool SortList::Load(Context& run, Var* array, std::int32_t count) {
  count_ = static_cast<std::uint32_t>(count);
  const int kind = KindOf(array);
  if (Arrayness(array) == 1 && IsNumericKind(kind)) {
    kind_ = static_cast<std::int8_t>(kind);
    stride_ = ElementSize(kind);
    numbers_.resize(static_cast<std::size_t>(count_) * stride_);
    for (std::uint32_t i = 0; i < count_; ++i) {
      Operand element;
      element.SetOwned(ElementRef(array, static_cast<std::int32_t>(i)));
      WriteAt(NumberAt(i), kind_, element.Value());
    }
    return true;
  }
  vars_.reserve(count_);
  for (std::uint32_t i = 0; i < count_; ++i) {
    Operand element;
    element.SetOwned(ElementRef(array, static_cast<std::int32_t>(i)));
    Var* copy = CopyToFreshVar(run, element);
    if (copy == nullptr) return false;
    copy->flags = 1;  // the list holds it as a variable of its own
    vars_.push_back(copy);
  }
  return true;
}

Var* SortList::HoldSlowly(std::uint32_t i) {
  if (kind_ == KEL_UNKNOWN) return vars_[i];
  if (!kept_.empty()) {
    auto kept = kept_.find(i);
    if (kept != kept_.end()) return kept->second;
  }
  if (spareCount_ == 0) {
    Var* var = NewScalarVar(ReadAt(NumberAt(i), kind_));
    var->flags = 1;
    return var;
  }
  return TakeSpare(i);
}

void SortList::ReleaseSlowly(std::uint32_t i, Var* var) {
  if (kind_ == KEL_UNKNOWN || (!kept_.empty() && kept_.count(i) != 0)) return;
  const VarData* data = var->data;
  if (data->type == kind_ && data->dimension == 0 && !IsElementRef(var)) {
    CopyNumber(NumberAt(i), &data->payload);
    // Unchanged but for its number, the variable serves the next Hold.
    if (var->flags == 1 && data->refCount == 1 && data->containers == nullptr && spareCount_ < kSpares) {
      spare_[spareCount_++] = var;
    } else {
      ReleaseVar(var);
    }
  } else {
    kept_.emplace(i, var);
  }
}

bool SortList::Store(Context& run, Var* array, const std::vector<std::uint32_t>& order) {
  for (std::uint32_t i = 0; i < order.size(); ++i) {
    Operand element;
    element.SetOwned(ElementRef(array, static_cast<std::int32_t>(i)));
    Var* item = Hold(order[i]);
    const bool stored = Assign(run, element.var(), item);
    Release(order[i], item);
    if (!stored) return false;
  }
  return true;
}

}  // namespace kel
