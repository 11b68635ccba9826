#include "i18n/i18n.h"

namespace i18n {

bool LANG = false;

std::string tr(std::string_view en, std::string_view ru) { return std::string(LANG ? ru : en); }

std::string format(std::string_view tmpl, std::initializer_list<Arg> args) {
    std::string out;
    out.reserve(tmpl.size() + 32);
    std::size_t i = 0;
    while (i < tmpl.size()) {
        if (tmpl[i] == '{') {
            std::size_t close = tmpl.find('}', i + 1);
            if (close != std::string_view::npos) {
                std::string_view name = tmpl.substr(i + 1, close - i - 1);
                const Arg* hit = nullptr;
                for (const Arg& a : args)
                    if (a.name == name) { hit = &a; break; }
                if (hit) {
                    out += hit->value;
                    i = close + 1;
                    continue;
                }
            }
        }
        out += tmpl[i++];
    }
    return out;
}

}  // namespace i18n
