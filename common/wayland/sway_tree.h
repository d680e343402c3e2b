// sway's window tree (the IPC reply to GET_TREE), read as it streams past
// instead of built as a whole document: a flat list of its nodes, bounded in
// number, nesting and text, so that a hostile or runaway reply costs little.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::wayland {

// More nodes than a desktop has, containers included, and deeper nesting
// than sway makes; beyond either the reply is no tree.
inline constexpr std::size_t kMaxSwayNodes = 16384;
inline constexpr int kMaxSwayDepth = 64;
// Names, app ids and output names are cut at this many bytes.
inline constexpr std::size_t kMaxSwayText = 1024;

struct SwayRect {
  std::int32_t x = 0, y = 0, width = 0, height = 0;
  bool operator==(const SwayRect&) const = default;
};

enum class SwayNodeType { root, output, workspace, container, floatingContainer, other };

struct SwayNode {
  std::int64_t id = 0;
  SwayNodeType type = SwayNodeType::other;
  int parent = -1;         // its parent's index in the tree; -1 for the root
  bool floating = false;   // among its parent's floating nodes
  bool window = false;     // a view: sway gives its pid
  bool malformed = false;  // a member was not of the type sway gives; it is left unset
  std::string name;        // as sway gives it: not yet checked to be UTF-8
  std::string appId;
  std::string output;      // a workspace's output
  std::optional<std::int32_t> pid;  // a window's, when positive
  std::optional<SwayRect> rect, decoRect, windowRect;  // as sway gives them
  bool focused = false;
  std::optional<bool> visible;      // a window's
  std::vector<std::int64_t> focus;  // its children's ids, the most recently focused first
};

struct SwayTree {
  // In tree order: each node before its children, and (as sway lists them)
  // tiled children before floating ones, floating ones bottom to top.
  std::vector<SwayNode> nodes;

  // The output or workspace node that holds nodes[index]; nullptr for none.
  const SwayNode* holding(std::size_t index, SwayNodeType type) const;
  // Whether nodes[index] sits on sway's hidden scratchpad workspace.
  bool inScratchpad(std::size_t index) const;
};

// nullopt when the text is not JSON, its nodes are not objects in arrays, or
// it passes a bound.
std::optional<SwayTree> readSwayTree(std::string_view json);

}  // namespace quorvane::wayland
