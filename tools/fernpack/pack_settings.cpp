#include "tools/fernpack/pack.h"

bool CheckSettingsForPack(const std::vector<PackItem> &items, std::string *error) {
  (void)items;
  (void)error;
  return true;
}
