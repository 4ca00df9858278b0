#pragma once
// Every command id of the program, in one place. Program commands count from
// 32771; the framework's standard commands from 57600.
namespace tvx {

enum CommandId : int {
  kCmdAddFiles = 32771,
  kCmdAddWebSite = 32772,
  kCmdDeleteEntry = 32787,
  kCmdProperties = 32789,
  kCmdAddSearchProject = 32790,
  kCmdStopDownloading = 32792,
  kCmdSendToRequestedFiles = 32796,
  kCmdSendToRequestedSites = 32797,
  kCmdDownloadSelected = 32798,
  kCmdDeleteAllLists = 32807,
  kCmdHelpContents = 32808,
  kCmdGallery = 32809,  // shows the gallery, or the lists again
  kCmdAppAbout = 57664,
  kCmdAppExit = 57665,
};

}  // namespace tvx
