// Cuts the search for every DLL loaded later down to the system folder, so that a DLL
// planted beside the program (a download folder, the temp folder the uninstaller copies
// itself into) never runs. Called first thing by each of the project's Windows programs.
// Windows only (dll_search_win32.cpp).
#ifndef FERN_SUPPORT_DLL_SEARCH_H
#define FERN_SUPPORT_DLL_SEARCH_H

#include <windows.h>

void RestrictDllSearch();

#endif
