// A visitor made of lambdas, one per alternative of a std::variant.
#pragma once

namespace platform {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace platform
