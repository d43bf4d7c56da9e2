#pragma once
// The value types through which the program talks about a device screen: the
// element selector, UI nodes, observation snapshots and listed devices.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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

// The bytes that the strings of a screen's nodes refer to: the text a
// reader took the nodes from, kept whole, and the pieces it made while
// reading (decoded values, identifiers). It never moves what it holds, so
// views into it stay valid for as long as it lives; a snapshot and its
// copies share it.
class NodeText {
 public:
  NodeText() = default;
  NodeText(const NodeText&) = delete;
  NodeText& operator=(const NodeText&) = delete;

  // Keeps `text` whole and returns it; views into the returned text live as
  // long as the store. Kept once, before any reading.
  std::string_view adopt(std::string text);
  // The text kept by adopt (empty when none was).
  std::string_view source() const { return source_; }
  // A copy of `bytes` that lives as long as the store.
  std::string_view keep(std::string_view bytes);
  // Room for at most `size` bytes, to be written in place and then closed
  // with commit(the number used), before the next call.
  char* reserve(size_t size);
  std::string_view commit(size_t used);

 private:
  std::string source_;
  std::vector<std::unique_ptr<char[]>> chunks_;
  char* free_ = nullptr;  // the unused part of the last chunk
  size_t left_ = 0;
};

// One element of a screen's UI tree. Its strings are views: into the
// NodeText of its snapshot, or into storage that outlives the node (string
// literals). A node is used while its snapshot lives.
struct UiNode {
  std::string_view stableId{};   // identifier of the node within its snapshot
  std::string_view className{};  // element class or type name
  std::optional<std::string_view> resourceId{};
  std::optional<std::string_view> text{};
  std::optional<std::string_view> contentDesc{};
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

// A shared NodeText, as a snapshot holds it: what it holds is compared
// through the nodes, so any two are equal.
struct SharedNodeText {
  std::shared_ptr<const NodeText> store{};

  bool operator==(const SharedNodeText&) const { return true; }
};

// One observation of the device screen.
struct ObservationSnapshot {
  std::string id{};  // "snapshot-<n>" within a trace, else "snapshot-<wall-clock ms>"
  int64_t timestampMs = 0;
  std::optional<std::string> activePackage{};
  std::optional<std::string> activeActivity{};
  std::optional<std::string> screenshotArtifact{};
  std::optional<std::string> treeArtifact{};
  std::optional<std::string> focusedNodeId{};
  std::optional<std::string> logDelta{};
  SharedNodeText nodeText{};    // what the strings of `nodes` refer to
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
