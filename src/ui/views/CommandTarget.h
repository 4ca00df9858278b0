// A station on the route of a command: the active pane, then the frame, then
// the application object.
#pragma once

#include <optional>

namespace tvx::ui {

class CommandTarget {
 public:
  virtual ~CommandTarget() = default;
  // Runs the command if this target has a handler for it; false passes it on.
  virtual bool OnCommand(int id) = 0;
  // Whether the command is enabled, when this target decides it; nullopt
  // leaves the decision to the next station.
  virtual std::optional<bool> IsCommandEnabled(int /*id*/) const { return std::nullopt; }
};

}  // namespace tvx::ui
