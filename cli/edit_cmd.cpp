#include "cli/app.h"
#include "cli/messages.h"
#include "i18n/i18n.h"

namespace cli {

int edit_cmd(const std::vector<std::string>&) {
    fail("edit", i18n::tr(msg::kNotAvailableYet));
    return kExitFailed;
}

}  // namespace cli
