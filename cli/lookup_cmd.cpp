#include "cli/app.h"
#include "cli/messages.h"
#include "i18n/i18n.h"
#include "sacd/describe/description.h"
#include "sacd/disc.h"
#include "sacd/error.h"

namespace cli {

int lookup_cmd(const std::vector<std::string>& args) {
    std::string source = "discogs";
    std::optional<std::string> token;
    std::optional<std::string> path;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--source") {
            auto v = flag_value_lookup(args, i, "--source");
            if (!v) return kExitUsage;
            if (*v != "discogs" && *v != "musicbrainz") {
                fail("lookup", i18n::trf(msg::kBadSource, {{"value", *v}}));
                return kExitUsage;
            }
            source = *v;
        } else if (a == "--discogs-token") {
            auto v = flag_value_lookup(args, i, "--discogs-token");
            if (!v) return kExitUsage;
            token = *v;
        } else if (!a.empty() && a[0] == '-') {
            fail("lookup", i18n::trf(msg::kUnknownFlag, {{"arg", a}}));
            return kExitUsage;
        } else if (path) {
            fail("lookup", i18n::trf(msg::kExtraArgument, {{"arg", a}}));
            return kExitUsage;
        } else {
            path = a;
        }
    }
    if (!path) {
        fail_with_usage("lookup", i18n::tr(msg::kNoPath));
        return kExitUsage;
    }
    auto disc = sacd::import_iso(*path);
    if (!disc) {
        fail("lookup", i18n::tr(msg::kCouldNotReadImage) + ": " + sacd::render_error(disc.error()));
        return kExitFailed;
    }
    if (disc->is_not_recognised()) {
        fail("lookup", i18n::tr(msg::kNotRecognised));
        return kExitFailed;
    }
    if (!sacd::describe::editable_meta(*disc)) {
        fail("lookup", i18n::tr(msg::kCouldNotReadMetadata));
        return kExitFailed;
    }
    // The online searches are not part of this build yet.
    (void)source;
    (void)token;
    fail("lookup", i18n::tr(msg::kNotAvailableYet));
    return kExitFailed;
}

}  // namespace cli
