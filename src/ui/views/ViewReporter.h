// The reporting interface of the workers, carried out by the views, and the
// dispatcher that brings the workers' reports onto the user-interface thread.
#pragma once

#include <QObject>
#include <QPointer>

#include "workers/Reporting.h"

namespace tvx::ui {

class CListPanel;
class CStatusView;
class CDnldList;

class CViewReporter : public Reporter {
 public:
  CViewReporter(CListPanel* list, CStatusView* status, CDnldList* tree, QWidget* messageParent);

  void SetRowStatus(int row, const std::string& text) override;
  void DeleteRow(int row) override;
  void InsertTopRow(const std::string& itemText) override;
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
// thread) and waits until it is done.
class CQtUiDispatcher : public UiDispatcher {
 public:
  CQtUiDispatcher();
  ~CQtUiDispatcher() override;
  void Run(const std::function<void()>& work) override;
  bool IsUiThread() const override;

 private:
  QObject* context_;
};

}  // namespace tvx::ui
