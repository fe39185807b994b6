// The install command that the menu's install button runs. Windows only.
#ifndef FERN_INSTALL_INSTALL_H
#define FERN_INSTALL_INSTALL_H

// Runs the installation. 0 when it was carried out to the end (the menu then closes),
// -1 when it stopped after telling the user why (the menu stays open).
int RunInstall();

#endif
