#pragma once

// One transaction lock per attached device. The current and the earlier
// interface each keep their own objects for a camera (and a host may open one
// camera through several of them), but the device behind them has a single
// extension-unit packet buffer and a single sensor bridge: a request and its
// answer, or the steps of a sensor access, must not interleave with another
// object's. Every object that talks to the device takes the same lock, found
// by the device's identity, across each such sequence.

#include <memory>
#include <mutex>
#include <string>

namespace sv::platform {

// Recursive: a sequence (a sensor access) is built from smaller ones (register
// reads) that take the lock again.
using DeviceMutex = std::recursive_mutex;

// The lock of the device whose platform path (the symbolic link of its
// enumeration entry) is `devicePath`: the same object for every caller while
// any of them keeps it. An empty path names no device another object could
// reach, so it gets a lock of its own.
std::shared_ptr<DeviceMutex> DeviceTransactionMutex(const std::string& devicePath);

}  // namespace sv::platform
