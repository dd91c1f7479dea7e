// Creating and releasing values.

#include "engine/value.h"

#include <cstdlib>
#include "engine/memory.h"
#include "engine/pool.h"

namespace kel {

namespace {

Pool<VarData> dataPool;
Pool<Var> varPool;

VarData* NewData(int kind, int dimension) {
  VarData* data = dataPool.Allocate();
  *data = VarData{};
  data->refCount = 1;
  data->type = static_cast<std::int8_t>(kind);
  data->elemSize = ElementSize(kind);
  data->dimension = static_cast<std::uint8_t>(dimension);
  return data;
}

Var* NewVarOn(VarData* data) {
  Var* var = varPool.Allocate();
  *var = Var{data, 0, 0, 0};
  return var;
}

void ReleaseMembers(MemberList* list) {
  if (list == nullptr) return;
  MemberNode* node = list->head;
  while (node != nullptr) {
    MemberNode* next = node->next;
    ReleaseVar(node->var);
    delete[] node->name;
    delete node;
    node = next;
  }
  delete list;
}

void DropContainer(VarData* row, VarData* parent) {
  ContainerLink** link = &row->containers;
  while (*link != nullptr) {
    if ((*link)->parent == parent) {
      ContainerLink* gone = *link;
      *link = gone->next;
      delete gone;
      return;
    }
    link = &(*link)->next;
  }
}

void ReleaseElements(VarData* data) {
  if (data->payload.elements == nullptr) return;
  if (data->dimension > 1) {
    auto* rows = static_cast<RowSlot*>(data->payload.elements);
    for (std::uint32_t i = 0; i < data->elemCount; ++i) {
      if (rows[i].row == nullptr) continue;
      DropContainer(rows[i].row, data);
      ReleaseData(rows[i].row);
    }
  } else if (data->type == KEL_STRUCT) {
    auto* cells = static_cast<MemberList**>(data->payload.elements);
    for (std::uint32_t i = 0; i < data->elemCount; ++i) ReleaseMembers(cells[i]);
  }
  std::free(data->payload.elements);
  data->payload.elements = nullptr;
}

}  // namespace

Var* NewVar(int kind) {
  VarData* data = NewData(kind, 0);
  if (kind == KEL_STRUCT) data->payload.members = new MemberList{nullptr};
  return NewVarOn(data);
}

Var* NewIntVar(std::int32_t value) {
  Var* var = NewVar(KEL_INT);
  var->data->payload.intValue = value;
  return var;
}

Var* NewFloatVar(double value) {
  Var* var = NewVar(KEL_FLOAT);
  var->data->payload.floatValue = value;
  return var;
}

Var* NewByteVar(std::uint8_t value) {
  Var* var = NewVar(KEL_BYTE);
  var->data->payload.byteValue = value;
  return var;
}

Var* NewByteArrayVar(const char* bytes, std::uint32_t count, bool isString) {
  VarData* data = NewData(KEL_BYTE, 1);
  std::uint32_t total = count + (isString ? 1 : 0);
  void* storage = CheckedMalloc(total);
  if (count > 0) std::memcpy(storage, bytes, count);
  if (isString) static_cast<char*>(storage)[count] = '\0';
  data->payload.elements = storage;
  data->elemCount = total;
  data->isString = isString ? 1 : 0;
  return NewVarOn(data);
}

void ReleaseData(VarData* data) {
  if (--data->refCount > 0) return;
  if (data->dimension == 0) {
    if (data->type == KEL_STRUCT) ReleaseMembers(data->payload.members);
  } else {
    ReleaseElements(data);
  }
  while (data->containers != nullptr) {
    ContainerLink* next = data->containers->next;
    delete data->containers;
    data->containers = next;
  }
  dataPool.Free(data);
}

void ReleaseVar(Var* var) {
  if (var == nullptr) return;
  ReleaseData(var->data);
  varPool.Free(var);
}

}  // namespace kel
