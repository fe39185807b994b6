// The conversions with Windows' own code page 932 tables.
#include "support/wide_text.h"

#include <windows.h>

#include <string.h>

namespace {

const UINT kShiftJis = 932;

}  // namespace

int SjisToWide(const char *text, WideChar *wide, size_t count) {
  if (count == 0) return -1;
  wide[0] = 0;
  if (!IsWellFormedSjis(text)) return -1;
  if (text[0] == '\0') return 0;
  int room = count > 0x7FFFFFFF ? 0x7FFFFFFF : (int)count;
  // With the terminator included, a result that does not fit fails as a whole.
  int written = MultiByteToWideChar(kShiftJis, MB_ERR_INVALID_CHARS, text, -1, wide, room);
  if (written <= 0) {
    wide[0] = 0;
    return -1;
  }
  return 0;
}

int WideToSjis(const WideChar *wide, char *text, size_t size) {
  if (size == 0) return -1;
  text[0] = '\0';
  if (wide[0] == 0) return 0;
  // The size the text needs, and whether every character has a form of its own: no "?"
  // and no best-fit look-alike stands in for one.
  BOOL substituted = FALSE;
  int needed = WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0,
                                   nullptr, &substituted);
  if (needed <= 0 || substituted) return kWideNoSjisForm;
  if ((size_t)needed > size) return -1;
  if (WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, wide, -1, text, (int)size, nullptr,
                          nullptr) != needed) {
    text[0] = '\0';
    return -1;
  }
  return 0;
}
