#include <windows.h>

#include "support/allocate.h"

void WarnOutOfMemory() {
  // No owner and no clipboard copy: this box must work when nothing else can be allocated.
  MessageBoxA(nullptr, "メモリ容量が不足しています。処理を中断します。", "malloc", MB_ICONERROR);
}
