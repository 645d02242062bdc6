#ifndef TAVORA_HOST_MODEL_JSON_H_
#define TAVORA_HOST_MODEL_JSON_H_

#include <nlohmann/json_fwd.hpp>

#include "harness/object_model.h"
#include "harness/variant.h"

namespace host {

// {"String":s}, {"Long":n}, {"Integer":n}, {"Boolean":b} or null.
nlohmann::ordered_json VariantToJson(const harness::Variant& value);

// The object model made by this host, in the documented JSON form. Error 430
// when `model` was not made by this host.
nlohmann::ordered_json ModelToJson(harness::ObjectModel* model);

}  // namespace host

#endif  // TAVORA_HOST_MODEL_JSON_H_
