#pragma once
// The engine a test works with, and putting its six lists back to their
// start-up state between tests.
#include "engine/Engine.h"
#include "ui/model/ShownList.h"

namespace tvx::test {

// The engine the running test works with: its EngineFixture's, or outside
// one, an engine of the test process.
Engine& E();
// The fixture's ShownList (outside one, one over a recorder of the process).
ShownList& Shown();

// Empties the six lists, clears their modified flags, forgets the options of
// projects, the credits of pictures and what was learnt about the list files,
// and shows listKind.
void ResetLists(int listKind = 1);

}  // namespace tvx::test
