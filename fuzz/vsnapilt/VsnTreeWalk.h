#ifndef ZYR_FUZZ_VSN_TREE_WALK_H
#define ZYR_FUZZ_VSN_TREE_WALK_H
// Depth-first walk of a VSN tree without recursion (arbitrary input can nest deeply), shared by
// the targets that compare trees.
#include "vsnEntry.h"

#include <utility>
#include <vector>

namespace zyrfuzz {

// Calls visit(entry, depth) for every entry below the root, in document order.
template <class Visit> void walkTree(const vsnEntry *root, Visit visit) {
  std::vector<std::pair<const vsnEntry *, int>> stack;
  for (const vsnEntry *c = root ? root->m_lastChild : nullptr; c; c = c->m_prev)
    stack.push_back({c, 0});
  while (!stack.empty()) {
    const vsnEntry *e = stack.back().first;
    const int depth = stack.back().second;
    stack.pop_back();
    visit(e, depth);
    for (const vsnEntry *c = e->m_lastChild; c; c = c->m_prev)
      stack.push_back({c, depth + 1});
  }
}

} // namespace zyrfuzz

#endif
