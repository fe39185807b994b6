// Placeholder until the installation exists: the install button is in place and calls
// this, which does nothing and reports that nothing was installed, so the menu stays open.
#include "install/install.h"

int RunInstall() { return -1; }
