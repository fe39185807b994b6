#include <stdio.h>

#include "support/allocate.h"

void WarnOutOfMemory() { fputs("out of memory\n", stderr); }
