#pragma once
// Self-running modes of the program, for tests and pictures, chosen from the
// environment:
//   TAVRINOX_SCREENSHOT=<file.png>  answers the start-up question with its
//       default, saves a picture of the main window and ends;
//   TAVRINOX_TEST_REQUEST=<url>     adds the URL to the requested files once
//       the event loop runs (TAVRINOX_TEST_PROCEED: after answering the
//       start-up question) and prints "requested";
//   TAVRINOX_TEST_DOWNLOAD[=<list>]  answers the question, selects row 0 of
//       the requested files (or of the list the tree item <list> names, such
//       as "Web Sites"), chooses Download Selected and prints "downloading";
//   TAVRINOX_TEST_COMMANDS          carries out lines read from standard
//       input as the user would: "exit" chooses File > Exit.
namespace tvx {
class Engine;
}  // namespace tvx

namespace tvx::ui {

void ArrangeProgramHooks(Engine& engine);

}  // namespace tvx::ui
