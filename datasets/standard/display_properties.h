#ifndef TAVORA_DATASETS_STANDARD_DISPLAY_PROPERTIES_H_
#define TAVORA_DATASETS_STANDARD_DISPLAY_PROPERTIES_H_

#include <span>

#include "datasets/model_rows.h"

namespace tavora {

// The eight display records (DefaultView .. SubdatasheetName) that every
// table, view and stored procedure of the standard dataset carries with the
// same values, in the order they are added. Add them with AddProperties.
std::span<const PropertyRow> DisplayProperties();

}  // namespace tavora

#endif  // TAVORA_DATASETS_STANDARD_DISPLAY_PROPERTIES_H_
