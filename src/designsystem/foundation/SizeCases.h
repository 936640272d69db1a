#pragma once

#include <initializer_list>
#include <optional>

namespace brelta::designsystem {

// The case of a size enumeration (whose values are its sizes in pixels) that equals `points` exactly.
template<typename Size>
std::optional<Size> sizeCaseFromPoints(double points, std::initializer_list<Size> cases)
{
    for (Size size : cases) {
        if (points == double(static_cast<int>(size)))
            return size;
    }
    return std::nullopt;
}

} // namespace brelta::designsystem
