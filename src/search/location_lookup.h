// How a typed search location names a folder of the cache, for the walk of the file and for the
// in-memory index alike, so that both find the same folder for every text.
//
// The drive whose name is the longest component-wise prefix of the location, then folder by
// folder, the first entry of each name in block order. Windows ('\\'): compared case-blind, one
// trailing separator allowed; POSIX ('/'): case-sensitive, trailing separators ignored. An empty
// component (a doubled or leading separator), a component of more than 259 units, a file at the
// end, a folder without a block or a missing name: not found.
//
// A source offers the cache's entries, each a Node:
//   EachRoot(visit)         visit(node, name) for every drive entry that is a folder, in order
//   EachChild(node, visit)  visit(child) for each entry of the folder in order, until it is false
// (the visits are RootVisit<Node> and ChildVisit<Node>: sources are local classes, which cannot
// have member templates)
//   NameIs(node, component, fold), IsFolder(node), HasBlock(node)
//   Enter(node)             told each folder of the way, the drive first
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "platform/case_fold.h"

namespace corvella {

template <typename Node>
using RootVisit = std::function<void(const Node&, std::u16string_view)>;
template <typename Node>
using ChildVisit = std::function<bool(const Node&)>;

template <typename Source, typename Node>
bool LookUpLocation(std::u16string_view location, char16_t sep, Source& source, Node& found) {
    const bool fold = sep != u'/';
    if (fold) {
        if (!location.empty() && location.back() == sep) location.remove_suffix(1);
    } else {
        if (location.empty() || location[0] != sep) return false;
        while (location.size() > 1 && location.back() == sep) location.remove_suffix(1);
    }

    bool have = false;
    Node best{};
    size_t best_length = 0;  // of the drive's name without a trailing separator
    source.EachRoot([&](const Node& root, std::u16string_view name) {
        if (!name.empty() && name.back() == sep) name.remove_suffix(1);  // "/" is the root of all
        if (location.size() < name.size() || (name.empty() && location.empty())) return;
        const std::u16string_view head = location.substr(0, name.size());
        if (!(fold ? EqualsFolded(head, name) : head == name)) return;
        if (location.size() != name.size() && location[name.size()] != sep) return;
        if (!have || name.size() > best_length) {
            best_length = name.size();
            best = root;
            have = true;
        }
    });
    if (!have || !source.HasBlock(best)) return false;
    source.Enter(best);

    Node at = best;
    std::u16string_view rest =
        location.size() > best_length ? location.substr(best_length + 1) : std::u16string_view();
    while (!rest.empty()) {
        const size_t cut = rest.find(sep);
        const bool last = cut == std::u16string_view::npos;
        const std::u16string_view component = rest.substr(0, cut);
        if (component.empty() || component.size() > 259) return false;
        enum { Looking, Descended, Refused } step = Looking;
        source.EachChild(at, [&](const Node& child) {
            if (!source.NameIs(child, component, fold)) return true;
            if (!source.IsFolder(child)) {
                if (last) step = Refused;  // a file is no location
                return !last;
            }
            if (!source.HasBlock(child)) {
                step = Refused;
                return false;
            }
            at = child;
            step = Descended;
            return false;
        });
        if (step != Descended) return false;
        source.Enter(at);
        if (last) break;
        rest = rest.substr(cut + 1);
        if (rest.empty()) return false;  // a separator too many at the end
    }
    found = at;
    return true;
}

}  // namespace corvella
