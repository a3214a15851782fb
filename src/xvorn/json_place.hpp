// json_place: a document with one value put at the place a path names, as a
// ResultPath-style write does.
//
// Every step but the last needs an existing object key or array element;
// the last step may add a key to an object but never an element to an
// array. So no intermediate object is ever created and no array grows. With
// no steps the result is the value itself. The path's root kind plays no
// part.
#pragma once

#include <optional>
#include <span>

#include "json/value.hpp"
#include "json_path.hpp"

namespace xvorn {

// A new document, or nullopt when the place cannot be reached. `root` is
// left unchanged either way.
std::optional<vorn::json::Value> json_place(const vorn::json::Value& root,
                                            std::span<const Segment> segments,
                                            vorn::json::Value value);

// The same on a document the caller gives up: it is changed in place rather
// than copied, and dropped when the place cannot be reached.
std::optional<vorn::json::Value> json_place(vorn::json::Value&& root,
                                            std::span<const Segment> segments,
                                            vorn::json::Value value);

}  // namespace xvorn
