#pragma once
// The value types through which the program talks about a device screen: the
// element selector, UI nodes, observation snapshots and listed devices.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vyx {

// Chooses UI elements. An absent field places no condition; a present but
// empty field is a real condition.
struct Selector {
  std::optional<std::string> resourceId{};           // "id", else "resourceId"; equal
  std::optional<std::string> text{};                 // equal
  std::optional<std::string> textContains{};         // substring of the node's text
  std::optional<std::string> contentDesc{};          // equal
  std::optional<std::string> contentDescContains{};  // substring of the node's contentDesc
  std::optional<std::string> className{};            // equal

  // True when no field is set (such a selector matches every visible node).
  bool empty() const;

  bool operator==(const Selector&) const = default;
};

// On-screen rectangle in device pixels: left, top, width, height.
struct Bounds {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;

  bool operator==(const Bounds&) const = default;
};

// One element of a screen's UI tree.
struct UiNode {
  std::string stableId{};   // identifier of the node within its snapshot
  std::string className{};  // element class or type name
  std::optional<std::string> resourceId{};
  std::optional<std::string> text{};
  std::optional<std::string> contentDesc{};
  Bounds bounds{};
  bool enabled = false;
  bool visible = false;
  bool selected = false;

  bool operator==(const UiNode&) const = default;
};

// Screen size in pixels; 0 by 0 when the device reports none.
struct Viewport {
  uint32_t width = 0;
  uint32_t height = 0;

  bool operator==(const Viewport&) const = default;
};

// One observation of the device screen.
struct ObservationSnapshot {
  std::string id{};  // "snapshot-<n>" within a trace, else "snapshot-<nowMs>"
  int64_t timestampMs = 0;
  std::optional<std::string> activePackage{};
  std::optional<std::string> activeActivity{};
  std::optional<std::string> screenshotArtifact{};
  std::optional<std::string> treeArtifact{};
  std::optional<std::string> focusedNodeId{};
  std::optional<std::string> logDelta{};
  std::vector<UiNode> nodes{};  // the UI tree flattened, in the builder's order
  Viewport viewport{};
  std::optional<uint32_t> displayDensityDpi{};

  bool operator==(const ObservationSnapshot&) const = default;
};

// One listed device.
struct DeviceInfo {
  std::string serial{};  // Android serial, or iOS simulator UDID / device identifier
  std::string state{};   // as the listing tool reports it

  bool operator==(const DeviceInfo&) const = default;
};

}  // namespace vyx
