#include "cli/app.h"
#include "cli/messages.h"
#include "i18n/i18n.h"

namespace cli {

namespace {

struct DescribeSections {
    bool tracks = false, text = false, flags = false, links = false;
};

}  // namespace

int describe_cmd(const std::vector<std::string>& args) {
    DescribeSections sections;
    bool ms = false, json = false;
    std::optional<std::string> path;
    for (const std::string& a : args) {
        if (a == "--tracks") sections.tracks = true;
        else if (a == "--text") sections.text = true;
        else if (a == "--flags") sections.flags = true;
        else if (a == "--links") sections.links = true;
        else if (a == "--full") sections = {true, true, true, true};
        else if (a == "--ms") ms = true;
        else if (a == "--json") json = true;
        else if (!a.empty() && a[0] == '-') {
            fail("describe", i18n::trf(msg::kUnknownFlag, {{"arg", a}}));
            return kExitUsage;
        } else if (path) {
            fail("describe", i18n::trf(msg::kExtraArgument, {{"arg", a}}));
            return kExitUsage;
        } else {
            path = a;
        }
    }
    if (!path) {
        fail_with_usage("describe", i18n::tr(msg::kNoPath));
        return kExitUsage;
    }
    (void)ms;
    (void)json;
    fail("describe", i18n::tr(msg::kNotAvailableYet));
    return kExitFailed;
}

}  // namespace cli
