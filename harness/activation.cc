#include "harness/activation.h"

#include <mutex>
#include <unordered_map>

namespace harness {

namespace {

struct GuidHash {
  size_t operator()(const Guid& g) const {
    return std::hash<uint64_t>()((uint64_t{g.data1} << 32) ^ (uint64_t{g.data2} << 16) ^ g.data3 ^
                                 (uint64_t{g.data4[7]} << 56));
  }
};

struct Table {
  std::mutex mutex;
  std::unordered_map<Guid, ClassFactory, GuidHash> factories;
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: components may outlive main
  return *table;
}

}  // namespace

void InstallClass(const Guid& clsid, ClassFactory factory) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  if (factory) {
    table.factories[clsid] = std::move(factory);
  } else {
    table.factories.erase(clsid);
  }
}

ComPtr<IUnknown> CreateObject(const Guid& clsid) {
  ClassFactory factory;
  {
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    auto it = table.factories.find(clsid);
    if (it != table.factories.end()) factory = it->second;
  }
  if (!factory) RaiseRuntime(errors::kCannotCreate);
  ComPtr<IUnknown> object = factory();
  if (!object) RaiseRuntime(errors::kCannotCreate);
  return object;
}

}  // namespace harness
