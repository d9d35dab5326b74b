// Raw input waiting to be routed, as input.cpp and keyboard.cpp share it.
#pragma once

#include <windows.h>

#include <algorithm>

#include "user/input.h"
#include "user/queue.h"

namespace umbra::user {

// An event with the key state it left behind and whether its key was already down.
struct PendingInput {
  RawInput event;
  BYTE keys[256] = {};
  bool wasDown = false;
};

inline void PushRouted(ThreadQueue& queue, const MSG& msg, const BYTE* keys) {
  RoutedInput routed;
  routed.msg = msg;
  std::copy(keys, keys + 256, routed.keys);
  queue.input.push_back(routed);
}

}  // namespace umbra::user
