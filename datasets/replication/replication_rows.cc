#include "datasets/replication/replication_rows.h"

#include <string>

#include "harness/error.h"
#include "library/vxhandler.h"

namespace tavora::replication {

void ApplyDifferences(std::vector<PropertyRow>& rows, std::span<const Difference> differences) {
  for (const Difference& difference : differences) {
    bool applied = false;
    for (PropertyRow& row : rows) {
      if (row.name != difference.property) continue;
      if (difference.original) row.original = *difference.original;
      if (difference.new_value) row.new_value = *difference.new_value;
      applied = true;
    }
    if (!applied) {
      Raise(harness::errors::kInternal, u"Internal error: no model record \"" +
                                            std::u16string(difference.property) +
                                            u"\" to apply a difference to");
    }
  }
}

}  // namespace tavora::replication
