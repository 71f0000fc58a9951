// Ownership of Firebird interfaces. Every reference-counted interface the layer gets from the
// client library is held by an Owned<T>, whose deleter calls release(). Firebird's rule for the
// calls that end an interface (commit, rollback, free, close, cancel, detach): on success the
// interface is gone and the pointer is only dropped; on failure it is still ours and the owner
// releases it. Headers can hold an Owned<T> of a forward-declared interface as long as the
// owning class's destructor and moves are defined in a .cpp file.
#pragma once

#include <memory>
#include <utility>

#include "engine/fb/error.h"

namespace tramolin::fb {

template <typename Interface>
struct ReleaseInterface {
  void operator()(Interface* handle) const noexcept { handle->release(); }
};

template <typename Interface>
using Owned = std::unique_ptr<Interface, ReleaseInterface<Interface>>;

// Runs end(handle) (a call that ends the interface, throwing on failure). When it returns, the
// interface no longer exists, so the pointer is dropped without a release; when it throws, the
// handle keeps the interface.
template <typename Interface, typename End>
void EndInterface(Owned<Interface>& handle, End&& end) {
  std::forward<End>(end)(handle.get());
  [[maybe_unused]] Interface* gone = handle.release();
}

// Ends the interface (or, with force, when the connection is dropped without a word to the
// server, only releases it); an interface that refuses to end is released. The handle is empty
// afterwards in every case.
template <typename Interface, typename End>
void EndOrRelease(Owned<Interface>& handle, bool force, End&& end) noexcept {
  if (handle == nullptr) return;
  if (!force) {
    try {
      EndInterface(handle, std::forward<End>(end));
      return;
    } catch (const Error&) {
      // still held after the failed call: released below
    }
  }
  handle.reset();
}

}  // namespace tramolin::fb
