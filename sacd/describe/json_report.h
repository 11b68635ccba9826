// The JSON describe report for scripts: every field of the description, keys in a fixed order,
// absent values as null, two-space indentation, non-ASCII text unescaped.
#pragma once

#include <string>

#include "platform/result.h"
#include "sacd/describe/description.h"

namespace sacd::describe {

// The document without a final line break, or the serializer's error text.
platform::Result<std::string, std::string> render_json(const DiscDescription& description);

}  // namespace sacd::describe
