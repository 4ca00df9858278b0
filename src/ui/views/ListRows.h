// The rows of one of the six lists, as the panel shows them.
#pragma once

#include <QString>
#include <utility>
#include <vector>

#include "store/Lists.h"

namespace tvx::ui {

struct ListRow {
  QString text;    // url of a file, name of a project
  QString status;  // the record's status
};

// The records of list kind (1 to 6) in list order (index 0 first); empty for
// an unknown kind.
std::vector<ListRow> RecordsOfList(const Lists& lists, int kind);
// The number of records in list kind.
int CountOfList(const Lists& lists, int kind);

}  // namespace tvx::ui
