#include "report/BlockTable.h"

const std::vector<BlockRow>& BlockTable() {
  static const std::vector<BlockRow> table = {
  };
  return table;
}
