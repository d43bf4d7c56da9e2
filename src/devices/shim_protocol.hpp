#pragma once
// The shim request protocol, spoken with the Android and the iOS shim alike:
// the request line, the reply checks and the compact selector text of the
// native selector requests.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "core/types.hpp"
#include "core/writer.hpp"

namespace vyx::shim_protocol {

enum class ShimCmd : uint8_t {
  snapshot,
  screenshot,
  tap,
  type,
  eraseText,
  hideKeyboard,
  swipe,
  pressBack,
  appState,
  settle,
  acceptSystemAlert,
  query,
};

std::string_view cmdName(ShimCmd cmd);

// One request. Strings are referred to, not owned.
struct ShimCommand {
  ShimCmd cmd = ShimCmd::snapshot;
  std::optional<std::string_view> selector;
  std::optional<std::string_view> text;
  std::optional<int32_t> x, y, x1, y1, x2, y2;
  std::optional<uint32_t> durationMs, maxChars;
};

// A request of the command with no optional field set.
inline ShimCommand request(ShimCmd cmd) {
  ShimCommand c;
  c.cmd = cmd;
  return c;
}

// The "swipe" request both drivers send.
inline ShimCommand swipeRequest(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t durationMs) {
  ShimCommand c = request(ShimCmd::swipe);
  c.x1 = x1;
  c.y1 = y1;
  c.x2 = x2;
  c.y2 = y2;
  c.durationMs = durationMs;
  return c;
}

// Writes the request line ("{"cmd":...}" and a line feed).
Status writeCommandJson(Writer& w, const ShimCommand& command);

// Success when the reply is an object whose "status" is the string "ok".
Status parseOkResponse(std::string_view reply);

struct SnapshotReply {
  std::vector<UiNode> nodes;
  SharedNodeText nodeText;  // what the strings of `nodes` refer to
  uint32_t viewportWidth = 0;
  uint32_t viewportHeight = 0;
};

Expected<SnapshotReply> parseSnapshotResponse(std::string_view reply);

// The answer of a "query" request: an ok reply whose "exists" is a boolean.
Expected<bool> parseQueryResponse(std::string_view reply);

// The answer of a native selector "tap", "type" or "eraseText": true when
// the shim performed it (ok); false when it found no element to act on (the
// codes "selector.not_found" and "selector.not_hittable"); any other reply
// is an error.
Expected<bool> parseSelectorActionResponse(std::string_view reply);

// "<key>=<value>" for a selector with exactly one field set, else nullopt.
std::optional<std::string> selectorString(const Selector& selector);

}  // namespace vyx::shim_protocol
