#include "online/model.h"

#include "online/text.h"

namespace online::model {

bool SearchHit::format_is_sacd(std::string_view format) {
    return ascii_lower(format).find("sacd") != std::string::npos;
}

}  // namespace online::model
