#pragma once
// Commands run on the user-interface thread; going through the dispatcher
// makes each change of the lists one step with respect to the workers' steps.
// A step never spans a dialog: a command asks the user between two steps.
#include "workers/Reporting.h"

namespace tvx {

template <class F>
void AsOneStep(F&& body) {
  CurrentDispatcher()->Run(body);
}

}  // namespace tvx
