// Vectors (file bytes, samples) joined end to end.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace testutil {

template <class T = uint8_t>
std::vector<T> Concat(std::initializer_list<std::vector<T>> parts) {
    std::vector<T> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace testutil
