#pragma once
// Operands: the results of expressions. An operand refers to a variable
// (borrowed: a name, member or slot holds it) or owns a temporary Var, or
// holds a scalar temporary directly, so that arithmetic on numbers needs no
// storage at all.

#include <utility>

#include "engine/value.h"

namespace kel {

class Operand {
 public:
  Operand() { scalar_.type = KEL_UNKNOWN; scalar_.floatValue = 0; }
  ~Operand() {
    if (keep_ != KEEP_NONE) LetGo();
  }
  Operand(const Operand&) = delete;
  Operand& operator=(const Operand&) = delete;
  Operand(Operand&& other) noexcept : var_(other.var_), keep_(other.keep_), scalar_(other.scalar_) {
    other.var_ = nullptr;
    other.keep_ = KEEP_NONE;
  }
  Operand& operator=(Operand&& other) noexcept {
    if (this != &other) {
      Reset();
      var_ = other.var_;
      keep_ = other.keep_;
      scalar_ = other.scalar_;
      other.var_ = nullptr;
      other.keep_ = KEEP_NONE;
    }
    return *this;
  }

  void Reset() {
    if (keep_ != KEEP_NONE) LetGo();
    var_ = nullptr;
    keep_ = KEEP_NONE;
    scalar_.type = KEL_UNKNOWN;
  }
  // A scalar temporary (type KEL_UNKNOWN: an undefined temporary).
  void SetScalar(const Scalar& value) {
    Reset();
    scalar_ = value;
  }
  void SetUndefined() { Reset(); }
  void SetBorrowed(Var* var) {
    Reset();
    var_ = var;
  }
  // Refers to [var] and keeps it alive while the operand lives: a member,
  // which the rest of the expression may take away from its structure.
  void SetHeld(Var* var) {
    Reset();
    var_ = var;
    keep_ = KEEP_HELD;
    HoldVar(var);
  }
  void SetOwned(Var* var) {
    Reset();
    var_ = var;
    keep_ = KEEP_OWNED;
  }

  Var* var() const { return var_; }
  bool owned() const { return keep_ == KEEP_OWNED; }
  // The scalar held without storage (when var() is null).
  const Scalar& scalar() const { return scalar_; }

  bool IsLvalue() const { return var_ != nullptr && kel::IsLvalue(var_); }
  bool IsDefined() const { return var_ != nullptr ? kel::IsDefined(var_) : scalar_.type != KEL_UNKNOWN; }
  int Kind() const { return var_ != nullptr ? var_->data->type : scalar_.type; }
  int ArrayDepth() const { return var_ != nullptr ? Arrayness(var_) : 0; }
  bool IsNumber() const { return ArrayDepth() == 0 && IsNumericKind(Kind()); }
  // The scalar value, read from the variable when there is one.
  Scalar Value() const { return var_ != nullptr ? GetScalar(var_) : scalar_; }
  // The number the operand is, when it is one that can be read directly.
  bool NumberValue(Scalar& out) const {
    if (var_ != nullptr) return ReadNumber(var_, out);
    out = scalar_;
    return scalar_.type >= KEL_BYTE;
  }

  // A Var for the value, made for a scalar temporary on demand.
  Var* Materialize() {
    if (var_ == nullptr) {
      var_ = scalar_.type == KEL_UNKNOWN ? NewVar(KEL_UNKNOWN) : NewScalarVar(scalar_);
      keep_ = KEEP_OWNED;
    }
    return var_;
  }
  // Hands the owned Var to the caller.
  Var* TakeOwned() {
    Var* var = var_;
    var_ = nullptr;
    keep_ = KEEP_NONE;
    return var;
  }

 private:
  // What the operand does with var_ when it lets go: nothing (borrowed),
  // release it (owned), or drop its hold (held).
  enum Keep : std::uint8_t { KEEP_NONE, KEEP_OWNED, KEEP_HELD };

  void LetGo() {
    if (keep_ == KEEP_OWNED) {
      ReleaseVar(var_);
    } else {
      DropVarHold(var_);
    }
  }

  Var* var_ = nullptr;
  Keep keep_ = KEEP_NONE;
  Scalar scalar_;
};

}  // namespace kel
