// The menu picture: publishers may draw it as insttscr.png; the installer reads only
// insttscr.rct, so the PNG is encoded and stored under that name.
#include <string.h>

#include "tools/fernpack/pack.h"
#include "tools/fernpack/png_io.h"
#include "tools/fernpack/rct_encode.h"

namespace {

const char kPictureName[] = "insttscr.rct";
// A supplied picture is read into memory to be decoded; a menu picture is far smaller.
const size_t kMaxSuppliedPicture = 256u << 20;
const char kDrawnName[] = "insttscr.png";

// True for a top-level file entry whose name is `wanted` in any letter case. The wanted
// names are ASCII, and bytes of double-byte characters (0x81 and above in the lead
// position) never equal an ASCII letter, so a byte-wise comparison folding only A-Z is
// exact for Shift-JIS names.
bool IsTopLevelFile(const PackItem &item, const char *wanted) {
  if (item.is_folder || item.name.size() != strlen(wanted)) return false;
  for (size_t i = 0; i < item.name.size(); i++) {
    unsigned char c = (unsigned char)item.name[i];
    if (c >= 'A' && c <= 'Z') c = (unsigned char)(c - 'A' + 'a');
    if (c != (unsigned char)wanted[i]) return false;
  }
  return true;
}

// A supplied insttscr.rct must decode with the installer's decoder, or the menu would
// show no picture.
bool CheckSuppliedPicture(const PackItem &item, std::string *error) {
  std::vector<unsigned char> bytes;
  BgrImage image;
  std::string why;
  if (!LoadFileBytes(item.source, kMaxSuppliedPicture, &bytes, &why)) {
    *error = "menu picture " + item.relative + ": " + why;
    return false;
  }
  if (!DecodeRctFile(bytes.data(), bytes.size(), &image, &why)) {
    *error = "menu picture " + item.relative + " does not decode (" + why +
             "): the menu would show no picture; put the picture in the game folder as "
             "insttscr.png, or encode it again with fernpack rct encode";
    return false;
  }
  return true;
}

}  // namespace

bool ConvertMenuPicture(std::vector<PackItem> *items, std::string *error) {
  size_t drawn = items->size();
  int drawn_count = 0;
  int picture_count = 0;
  for (size_t i = 0; i < items->size(); i++) {
    if (IsTopLevelFile((*items)[i], kDrawnName)) {
      drawn = i;
      drawn_count++;
    }
    if (IsTopLevelFile((*items)[i], kPictureName)) picture_count++;
  }
  if (drawn_count == 0) {
    for (const PackItem &item : *items) {
      if (IsTopLevelFile(item, kPictureName)) return CheckSuppliedPicture(item, error);
    }
    return true;
  }
  if (drawn_count > 1 || picture_count > 0) {
    *error = std::string("the game folder holds both ") + kDrawnName + " and " + kPictureName +
             " (or one of them twice in different letter case): it is not clear which "
             "menu picture to use; remove one";
    return false;
  }

  PackItem &item = (*items)[drawn];
  BgrImage image;
  std::vector<unsigned char> encoded;
  if (!ReadPictureFile(item.source, &image, error)) return false;  // names the file
  if (!EncodeRctFile(image, &encoded, error)) {
    *error = "menu picture " + item.relative + ": " + *error;
    return false;
  }
  item.name = kPictureName;
  item.relative = std::string(kPictureName) + " (encoded from " + item.relative + ")";
  item.source.clear();
  item.generated = true;
  item.data = std::move(encoded);
  item.size = item.data.size();
  return true;
}
