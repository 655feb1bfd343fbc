#include "host/Node.h"

namespace Pavo {
std::atomic<bool> ThreadControl::tsp_{false};

void Node::lastUserGone() { delete this; }
const void* Node::publisher() const { return nullptr; }

void Node::decUseImpl() const {
  std::uint32_t left;
  if (ThreadControl::tsp_.load(std::memory_order_relaxed)) {
    left = std::atomic_ref<std::uint32_t>(refs_).fetch_sub(1, std::memory_order_acq_rel) - 1;
  } else {
    left = --refs_;
  }
  if (left == 0) const_cast<Node*>(this)->lastUserGone();
}
}  // namespace Pavo
