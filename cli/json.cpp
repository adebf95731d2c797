#include "cli/json.h"

namespace wq::cli {

std::string Dump(const Json& value) {
  if (value.is_object() || value.is_array()) {
    const bool object = value.is_object();
    std::string out(1, object ? '{' : '[');
    for (auto it = value.begin(); it != value.end(); ++it) {
      if (it != value.begin()) out += ", ";
      if (object) out += Dump(it.key()) + ": ";
      out += Dump(*it);
    }
    return out + (object ? '}' : ']');
  }
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace wq::cli
