#include <windows.h>

#include "support/allocate.h"

void WarnOutOfMemory() {
  // No owner and no clipboard copy: this box must work when nothing else can be allocated.
  MessageBoxW(nullptr, L"メモリ容量が不足しています。処理を中断します。", L"malloc", MB_ICONERROR);
}
