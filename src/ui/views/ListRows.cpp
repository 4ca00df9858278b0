#include "ui/views/ListRows.h"

namespace tvx::ui {

std::vector<ListRow> RecordsOfList(const Lists& lists, int kind) {
  return WithList(lists, kind, [](const auto& list) {
    std::vector<ListRow> rows;
    for (const auto& r : list.Snapshot()) {
      const std::string_view key = KeyOf(r);
      const std::string_view status = TextOf(r.status);
      rows.push_back({QString::fromUtf8(key.data(), qsizetype(key.size())),
                      QString::fromUtf8(status.data(), qsizetype(status.size()))});
    }
    return rows;
  });
}

int CountOfList(const Lists& lists, int kind) {
  return WithList(lists, kind, [](const auto& list) { return list.GetCount(); });
}

}  // namespace tvx::ui
