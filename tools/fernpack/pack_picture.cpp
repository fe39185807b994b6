#include "tools/fernpack/pack.h"

bool ConvertMenuPicture(std::vector<PackItem> *items, std::string *error) {
  (void)items;
  (void)error;
  return true;
}
