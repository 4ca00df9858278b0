#pragma once
// Puts the six lists back to their start-up state between tests.
namespace tvx::test {

// Empties the six lists, clears their modified flags, forgets what was
// learnt about the list files and shows listKind.
void ResetLists(int listKind = 1);

}  // namespace tvx::test
