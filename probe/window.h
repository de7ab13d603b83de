// The window model every mode of the probe shares: the programs time each
// test between an odd clock reading and the even reading after it.
#pragma once

#include "probe/protocol.h"

namespace probe {

constexpr int kWindows = protocol::kWindows;

// The window the clock reading numbered `reading` (from 1) opens: 0 for a
// reading that closes a window or comes after the last.
constexpr int window_opened_by(int reading) {
  return reading % 2 == 1 && reading <= 2 * kWindows ? (reading + 1) / 2 : 0;
}

// The window the reading closes, or 0.
constexpr int window_closed_by(int reading) {
  return reading % 2 == 0 && reading <= 2 * kWindows ? reading / 2 : 0;
}

}  // namespace probe
