// The function table.

#include "engine/functions.h"

#include "base/text.h"
#include "engine/code.h"
#include "engine/token.h"

namespace kel {

std::uint32_t FunctionEpoch = 1;

FunctionRecord::FunctionRecord() = default;

FunctionRecord::~FunctionRecord() {
  if (kind == FUNCTION_SCRIPT) DestroyTokenList(body);
}

void FreeRetiredFunction(FunctionRecord* function) { delete function; }

namespace {

// [record] has left its table: freed now, or by its last release.
void Retire(FunctionRecord* record) {
  ++FunctionEpoch;
  record->next = nullptr;
  if (record->holds > 0) {
    record->retired = true;
  } else {
    delete record;
  }
}

}  // namespace

FunctionTable::~FunctionTable() {
  while (head_ != nullptr) {
    FunctionRecord* next = head_->next;
    Retire(head_);
    head_ = next;
  }
}

FunctionRecord* FunctionTable::Define(std::string_view name, Token* body) {
  if (name != kGlobalInitName) Remove(name);
  auto* record = new FunctionRecord;
  record->name = std::string(name);
  record->kind = FUNCTION_SCRIPT;
  record->body = body;
  record->next = head_;
  head_ = record;
  return record;
}

FunctionRecord* FunctionTable::Find(std::string_view name) const {
  for (const FunctionTable* table = this; table != nullptr; table = table->parent_) {
    for (FunctionRecord* record = table->head_; record != nullptr; record = record->next) {
      if (EqualsIgnoreCase(record->name, name)) return record;
    }
  }
  return nullptr;
}

void FunctionTable::Remove(std::string_view name) {
  for (FunctionRecord** link = &head_; *link != nullptr; link = &(*link)->next) {
    if (EqualsIgnoreCase((*link)->name, name)) {
      FunctionRecord* gone = *link;
      *link = gone->next;
      Retire(gone);
      return;
    }
  }
}

void FunctionTable::Remove(const FunctionRecord* record) {
  for (FunctionRecord** link = &head_; *link != nullptr; link = &(*link)->next) {
    if (*link == record) {
      FunctionRecord* gone = *link;
      *link = gone->next;
      Retire(gone);
      return;
    }
  }
}

}  // namespace kel
