#include "common/wayland/sway_tree.h"

#include <array>
#include <climits>
#include <string_view>

#include <nlohmann/json.hpp>

namespace quorvane::wayland {

namespace {

using nlohmann::json;

// Objects and arrays open at once: a node and its children's array per level
// of the tree, and a rectangle or list inside the deepest node.
constexpr std::size_t kMaxNesting = 2 * kMaxSwayDepth + 4;
constexpr char kScratchpad[] = "__i3_scratch";

enum class Member { other, id, type, name, appId, pid, rect, decoRect, windowRect, focused, visible, focus, nodes,
                    floatingNodes, output };

Member memberOf(std::string_view key) {
  static constexpr std::pair<std::string_view, Member> known[] = {
      {"id", Member::id},           {"type", Member::type},
      {"name", Member::name},       {"app_id", Member::appId},
      {"pid", Member::pid},         {"rect", Member::rect},
      {"deco_rect", Member::decoRect}, {"window_rect", Member::windowRect},
      {"focused", Member::focused}, {"visible", Member::visible},
      {"focus", Member::focus},     {"nodes", Member::nodes},
      {"floating_nodes", Member::floatingNodes}, {"output", Member::output}};
  for (const auto& [name, member] : known) {
    if (key == name) return member;
  }
  return Member::other;
}

SwayNodeType typeOf(std::string_view type) {
  if (type == "root") return SwayNodeType::root;
  if (type == "output") return SwayNodeType::output;
  if (type == "workspace") return SwayNodeType::workspace;
  if (type == "con") return SwayNodeType::container;
  if (type == "floating_con") return SwayNodeType::floatingContainer;
  return SwayNodeType::other;
}

std::string bounded(const std::string& text) { return text.substr(0, kMaxSwayText); }

// A scalar as the reader sees it.
struct Scalar {
  enum class Kind { null, boolean, integer, other, string } kind = Kind::null;
  bool boolean = false;
  std::optional<std::int64_t> integer;  // when it fits
  const std::string* text = nullptr;
};

// The SAX handler: what is open (a node, one of its arrays of children, one of
// its rectangles, its focus list, or something skipped) on a stack, and each
// value applied to what it belongs to. Returning false ends the parse.
class Reader final : public json::json_sax_t {
 public:
  SwayTree tree;

  bool null() override { return scalar({}); }
  bool boolean(bool value) override { return scalar({Scalar::Kind::boolean, value, {}, nullptr}); }
  bool number_integer(number_integer_t value) override {
    return scalar({Scalar::Kind::integer, false, value, nullptr});
  }
  bool number_unsigned(number_unsigned_t value) override {
    std::optional<std::int64_t> fits;
    if (value <= static_cast<number_unsigned_t>(INT64_MAX)) fits = static_cast<std::int64_t>(value);
    return scalar({Scalar::Kind::integer, false, fits, nullptr});
  }
  bool number_float(number_float_t, const string_t&) override { return scalar({Scalar::Kind::other, false, {}, nullptr}); }
  bool string(string_t& value) override { return scalar({Scalar::Kind::string, false, {}, &value}); }
  bool binary(binary_t&) override { return false; }
  bool key(string_t& key) override {
    if (open_.back().frame == Frame::node) open_.back().key = memberOf(key);
    if (open_.back().frame == Frame::rect) open_.back().field = fieldOf(key);
    return true;
  }
  bool start_object(std::size_t) override;
  bool end_object() override;
  bool start_array(std::size_t) override;
  bool end_array() override {
    open_.pop_back();
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  enum class Frame { node, children, floatingChildren, rect, focus, skipped };
  struct Open {
    Frame frame;
    std::size_t node = 0;          // the node it belongs to
    Member key = Member::other;    // in a node: the member whose value comes next; in a rect: which one
    int field = -1;                // in a rect: x, y, width, height
    std::array<std::optional<std::int32_t>, 4> values{};
  };

  static int fieldOf(std::string_view key) {
    static constexpr std::string_view fields[] = {"x", "y", "width", "height"};
    for (int i = 0; i < 4; ++i) {
      if (key == fields[i]) return i;
    }
    return -1;
  }
  SwayNode& node() { return tree.nodes[open_.back().node]; }
  bool push(Open open) {
    if (open_.size() >= kMaxNesting) return false;
    open_.push_back(open);
    return true;
  }
  // An object or array not read: a member of another type than sway gives
  // (unless sway gives no such member), or inside a rectangle or focus list.
  bool skip() {
    const Open& top = open_.back();
    if (top.frame == Frame::node ? top.key != Member::other : top.frame != Frame::skipped) node().malformed = true;
    return push({Frame::skipped, top.node});
  }
  bool addNode(int parent, bool floating);
  bool scalar(const Scalar& value);
  bool member(Member key, const Scalar& value);

  std::vector<Open> open_;
  int depth_ = 0;             // nodes open
  std::size_t focusIds_ = 0;  // in every focus list together
};

bool Reader::addNode(int parent, bool floating) {
  if (tree.nodes.size() >= kMaxSwayNodes || depth_ >= kMaxSwayDepth) return false;
  tree.nodes.emplace_back();
  tree.nodes.back().parent = parent;
  tree.nodes.back().floating = floating;
  ++depth_;
  return push({Frame::node, tree.nodes.size() - 1});
}

bool Reader::start_object(std::size_t) {
  if (open_.empty()) return tree.nodes.empty() && addNode(-1, false);
  const Open& top = open_.back();
  if (top.frame == Frame::children || top.frame == Frame::floatingChildren) {
    return addNode(static_cast<int>(top.node), top.frame == Frame::floatingChildren);
  }
  if (top.frame != Frame::node) return skip();
  if (top.key == Member::nodes || top.key == Member::floatingNodes) return false;
  if (top.key == Member::rect || top.key == Member::decoRect || top.key == Member::windowRect) {
    return push({Frame::rect, top.node, top.key});
  }
  return skip();
}

bool Reader::end_object() {
  Open closed = open_.back();
  open_.pop_back();
  if (closed.frame == Frame::node) {
    --depth_;
    return true;
  }
  if (closed.frame != Frame::rect) return true;
  auto& n = tree.nodes[closed.node];
  const auto& v = closed.values;
  if (!v[0] || !v[1] || !v[2] || !v[3]) {
    n.malformed = true;
    return true;
  }
  SwayRect r{*v[0], *v[1], *v[2], *v[3]};
  (closed.key == Member::rect ? n.rect : closed.key == Member::decoRect ? n.decoRect : n.windowRect) = r;
  return true;
}

bool Reader::start_array(std::size_t) {
  if (open_.empty()) return false;
  const Open& top = open_.back();
  if (top.frame == Frame::children || top.frame == Frame::floatingChildren) return false;  // children are objects
  if (top.frame != Frame::node) return skip();
  if (top.key == Member::nodes) return push({Frame::children, top.node});
  if (top.key == Member::floatingNodes) return push({Frame::floatingChildren, top.node});
  if (top.key != Member::focus) return skip();
  node().focus.clear();
  return push({Frame::focus, top.node});
}

bool Reader::scalar(const Scalar& value) {
  if (open_.empty()) return false;  // the tree is an object
  Open& top = open_.back();
  switch (top.frame) {
    case Frame::children:
    case Frame::floatingChildren:
      return false;
    case Frame::node:
      return member(top.key, value);
    case Frame::rect: {
      const bool fits = value.integer && *value.integer >= INT32_MIN && *value.integer <= INT32_MAX;
      if (top.field >= 0 && fits) top.values[static_cast<std::size_t>(top.field)] = static_cast<std::int32_t>(*value.integer);
      else if (top.field >= 0) tree.nodes[top.node].malformed = true;
      return true;
    }
    case Frame::focus:
      if (!value.integer) node().malformed = true;
      else if (++focusIds_ > kMaxSwayNodes) return false;
      else node().focus.push_back(*value.integer);
      return true;
    case Frame::skipped:
      return true;
  }
  return false;
}

bool Reader::member(Member key, const Scalar& value) {
  SwayNode& n = node();
  const bool isString = value.kind == Scalar::Kind::string;
  switch (key) {
    case Member::other:
      return true;
    case Member::nodes:
    case Member::floatingNodes:
      return false;
    case Member::id:
      if (value.integer) n.id = *value.integer;
      else n.malformed = true;
      return true;
    case Member::type:
      if (isString) n.type = typeOf(*value.text);
      else n.malformed = true;
      return true;
    case Member::name:
      if (isString) n.name = bounded(*value.text);
      else if (value.kind != Scalar::Kind::null) n.malformed = true;  // a container has a null name
      return true;
    case Member::appId:
      if (isString) n.appId = bounded(*value.text);
      else if (value.kind != Scalar::Kind::null) n.malformed = true;  // X11 windows have none
      return true;
    case Member::output:
      if (isString) n.output = bounded(*value.text);
      else n.malformed = true;
      return true;
    case Member::pid:
      n.window = true;
      if (value.integer && *value.integer > 0 && *value.integer <= INT32_MAX) n.pid = static_cast<std::int32_t>(*value.integer);
      else n.malformed = true;
      return true;
    case Member::focused:
    case Member::visible:
      if (value.kind != Scalar::Kind::boolean) n.malformed = true;
      else if (key == Member::focused) n.focused = value.boolean;
      else n.visible = value.boolean;
      return true;
    case Member::rect:
    case Member::decoRect:
    case Member::windowRect:
    case Member::focus:
      n.malformed = true;
      return true;
  }
  return true;
}

}  // namespace

const SwayNode* SwayTree::holding(std::size_t index, SwayNodeType type) const {
  for (int at = index < nodes.size() ? nodes[index].parent : -1; at >= 0; at = nodes[static_cast<std::size_t>(at)].parent) {
    if (nodes[static_cast<std::size_t>(at)].type == type) return &nodes[static_cast<std::size_t>(at)];
  }
  return nullptr;
}

bool SwayTree::inScratchpad(std::size_t index) const {
  const SwayNode* workspace = holding(index, SwayNodeType::workspace);
  return workspace && workspace->name == kScratchpad;
}

std::optional<SwayTree> readSwayTree(std::string_view json) {
  Reader reader;
  if (!json::sax_parse(json.begin(), json.end(), &reader) || reader.tree.nodes.empty()) return std::nullopt;
  return std::move(reader.tree);
}

}  // namespace quorvane::wayland
