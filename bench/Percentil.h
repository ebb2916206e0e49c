// The q-quantile (0 to 1) of the figures a bench took, nearest rank; 0 when there are none.
#pragma once
#include <algorithm>
#include <cstddef>
#include <vector>

inline double percentil(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
}
