// What the engine's reports change in the views (by row, through the window's
// ShownList), and the dispatcher that brings the workers' reports onto the
// user-interface thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <memory>
#include <mutex>
#include <vector>

#include "ui/model/ShownList.h"
#include "workers/Reporting.h"

namespace tvx::ui {

class CListPanel;
class CStatusView;
class CDnldList;

class CViewReporter : public RowSink {
 public:
  CViewReporter(CListPanel* list, CStatusView* status, CDnldList* tree, QWidget* messageParent);

  void SetRowStatus(int row, const std::string& text) override;
  void DeleteRow(int row) override;
  void DeleteAllRows() override;
  void SetRowProgress(int row, std::uint64_t done, std::uint64_t total) override;
  bool AddTopRow(const std::string& itemText, const std::string& status) override;
  void SetRowText(int row, const std::string& itemText) override;
  void SetStatusText(StatusField field, const std::string& text) override;
  void StartBusy() override;
  void StopBusy() override;
  ProjectNode FindOrAddProject(const std::string& name) override;
  void AddFile(ProjectNode project, const std::string& path) override;
  void ShowMessage(const std::string& text) override;

 private:
  // Guarded: a report that arrives after a view is gone does nothing.
  QPointer<CListPanel> list_;
  QPointer<CStatusView> status_;
  QPointer<CDnldList> tree_;
  QPointer<QWidget> messageParent_;
};

// Runs work on the thread of the object it was made on (the user-interface
// thread) and waits until it is done. Once closed (the program is ending and
// its thread runs no more events), work runs on the calling thread under one
// lock instead, also work that was already waiting.
//
// Each waiting worker waits on its own piece of work: the user-interface
// thread wakes that worker alone and never waits for any thread to do so.
class CQtUiDispatcher : public UiDispatcher {
 public:
  CQtUiDispatcher();
  ~CQtUiDispatcher() override;
  void Run(const std::function<void()>& work) override;
  bool IsUiThread() const override;
  void Close() override;

 private:
  struct Passage;

  QObject* context_;
  SerialDispatcher closedRun_;
  // Guards closed_ and waiting_; never taken while work runs.
  std::mutex mutex_;
  bool closed_ = false;
  // The work that workers wait for, so that closing can hand it back.
  std::vector<std::shared_ptr<Passage>> waiting_;
};

}  // namespace tvx::ui
