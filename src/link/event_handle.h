#pragma once

#include <cstdint>

namespace velquor {

// What a driver hands the link worker to wait on for received data: a descriptor
// that polls readable on Linux, a Win32 event HANDLE (as an integer) on Windows.
#ifdef _WIN32
using EventHandle = std::intptr_t;
#else
using EventHandle = int;
#endif
inline constexpr EventHandle kNoEvent = -1;

}  // namespace velquor
