// What the server needs of the program around it besides the engine's host services: the client
// grid of the main window, the activity state and the idle database disconnect timer. Every hook
// may be left out: the server then runs without a window and without those timers.
#pragma once

#include <functional>

namespace tramolin {

// The main window's client grid. Calls never throw into the server.
class ClientGridView {
 public:
  virtual ~ClientGridView() = default;
  // Rebuild the grid from the slots.
  virtual void UpdateClientGrid() = 0;
  // Refresh the row of one slot.
  virtual void RefreshClientRow(int slot) = 0;
};

// No window: nothing is shown.
class NullClientGridView final : public ClientGridView {
 public:
  void UpdateClientGrid() override {}
  void RefreshClientRow(int) override {}
};

struct ServerHooks {
  std::function<void(int state)> set_activity_state;
  // The idle database disconnect timer: stopped while slots exist, restarted when none is left.
  std::function<void()> stop_idle_disconnect;
  std::function<void(int interval_ms)> restart_idle_disconnect;
};

}  // namespace tramolin
