#pragma once

// The ISP property table: limits, step, default and scale of every property id
// the maker cameras offer through the uniform property interface.

#include <unordered_map>

#include <sorvansdk/SvTypes.h>

namespace sv {

// A property's limits in the camera's own units. Double properties cross the
// interface as integers: interface value = camera value x scale.
struct IspPropertyInfo {
    bool isDouble = false;
    double minimum = 0;
    double maximum = 0;
    double step = 0;
    double def = 0;
    int scale = 1;
};

// The table, keyed by property id; ids outside 0-28 are absent. Built once,
// read-only afterwards.
const std::unordered_map<int, IspPropertyInfo>& IspPropertyTable();

// The entry of `id`, or null when the table has none.
const IspPropertyInfo* FindIspProperty(int id);

// A camera value as the interface's integer: rounded to hundredths (halves away
// from zero), then scaled and cut toward zero in integers, so that every value
// the interface sets reads back unchanged.
int IspInterfaceValue(double cameraValue, int scale);

}  // namespace sv
