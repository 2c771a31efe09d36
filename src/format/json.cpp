// The JSON form of a results row (kalmir::json_object), kept apart from the
// rest of the table so that only this unit needs nlohmann-json's header:
// the R package builds the table without it.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "kalmir/kalmir.h"

namespace {

// Floats stay floats: the JSON text of a figure is the shortest decimal
// that reads back as the same float, and keys keep the table's order.
using Json =
    nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                         std::int64_t, std::uint64_t, float>;

}  // namespace

namespace kalmir {

std::string json_object(const std::vector<Field>& row) {
  // Bytes that are not UTF-8 (a name from a file in another encoding)
  // become U+FFFD instead of stopping the table.
  auto dumped = [](const auto& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
  };
  std::string object = "{";
  for (const Field& f : row) {
    if (object.size() > 1) object += ',';
    object += dumped(Json(f.name)) + ':';
    switch (f.kind) {
      case FieldKind::text:
        object += dumped(Json(f.text));
        break;
      case FieldKind::integer:
        object += dumped(Json(static_cast<std::int64_t>(f.number)));
        break;
      case FieldKind::figure:
        // Floats stay floats; NaN and infinities become null.
        object += dumped(Json(static_cast<float>(f.number)));
        break;
      case FieldKind::number:
        object += dumped(nlohmann::json(f.number));
        break;
      case FieldKind::empty:
        object += "null";
        break;
    }
  }
  return object + "}";
}

}  // namespace kalmir
