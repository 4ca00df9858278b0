#include "ui/views/CreditTips.h"

#include <QHelpEvent>
#include <QToolTip>
#include <string>

#include "store/Lists.h"
#include "ui/views/ListPanel.h"
#include "workers/EngineState.h"

namespace tvx::ui {

CreditTips::CreditTips(CListPanel* panel) : QObject(panel), panel_(panel) {
  setObjectName(QStringLiteral("creditTips"));
  panel->viewport()->installEventFilter(this);
}

QString CreditTips::TipOfRow(int row) const {
  EngineState* engine = panel_->Engine();
  if (!engine || panel_->Shown() != kListSearchResults) return {};
  const auto record = engine->lists.searchResults.CopyOf(panel_->ItemAtRow(row));
  if (!record) return {};
  const auto credit = engine->credits.Get(TextOf(record->url));
  if (!credit) return {};
  // One fact a line.
  std::string tip = credit->title;
  auto line = [&tip](const std::string& text) {
    if (text.empty()) return;
    if (!tip.empty()) tip += '\n';
    tip += text;
  };
  line(credit->creator.empty() ? std::string() : "by " + credit->creator);
  line(credit->licence);
  line(credit->landingPage);
  return QString::fromStdString(tip);
}

bool CreditTips::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::ToolTip || watched != panel_->viewport()) return false;
  const auto* help = static_cast<QHelpEvent*>(event);
  const QModelIndex index = panel_->indexAt(help->pos());
  if (!index.isValid()) return false;
  const QString tip = TipOfRow(index.row());
  // Rows without a credit keep whatever tip the panel gives them.
  if (tip.isEmpty()) return false;
  QToolTip::showText(help->globalPos(), tip, panel_->viewport(),
                     panel_->visualRect(index.siblingAtColumn(0))
                         .united(panel_->visualRect(index.siblingAtColumn(1))));
  return true;
}

}  // namespace tvx::ui
