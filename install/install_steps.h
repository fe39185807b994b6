// The steps of the installation, each a thin Win32 body over the portable decisions of
// folder_rules, folder_paths and transfer_lines. RunInstall (install.h) calls them in order.
// Windows only.
#ifndef FERN_INSTALL_INSTALL_STEPS_H
#define FERN_INSTALL_INSTALL_STEPS_H

#include <stddef.h>

// Registry and INI files (registry_win32.cpp).
// The administrator probe: creates or opens HKLM\Software\<global>\<local>; 0 or -1.
int ProbeMachineKey(const char *global, const char *local);
// Per-user values under HKCU\Software\<global>\<local>. out always receives a terminated
// text: the REG_SZ value, or default_text (cut to size - 1 bytes) when the value is
// missing or does not fit whole. 0 when the value was read.
int ReadProductString(const char *global, const char *local, const char *name,
                      const char *default_text, char *out, size_t size);
// A decimal integer stored as REG_SZ; default_value when missing or of another type.
int ReadProductInt(const char *global, const char *local, const char *name, int default_value);
int WriteProductString(const char *global, const char *local, const char *name,
                       const char *text);
// The uninstall entry "QvApp<TITLEBAR>" under HKLM's Uninstall key: its path, 0 or -1
// when it does not fit.
int UninstallKeyPath(char *out, size_t size);
// Writes the entry with DisplayName and UninstallString, which starts program.
void RegisterUninstallEntry(const char *program);
// The program that the entry's UninstallString starts, without quotes, into program
// (kPathSize bytes). 0, or -1 when there is no entry or it does not fit.
int ReadUninstallProgram(char *program);
// Root of the first CD-ROM drive, such as "Q:\\", or "E:\\" when there is none.
const char *CdromRoot();
// The InstallFolder that REP_INSTALL stands for in the transfers.
void SetInstallToken(const char *install_folder);
void TransferIniSection();
void TransferRegSection();

// The destination (folder_choice_win32.cpp): 0 with the confirmed folder in
// install_folder (kPathSize bytes), -1 after Cancel, No or a refused folder.
int ChooseInstallFolder(char *install_folder);

// Folder preparation (folder_prep_win32.cpp). 0 on success, 1 on failure; *created is
// the number of levels that did not exist and were made (the InstallFolder's own and its
// missing parents), 0 when the InstallFolder existed.
int CreateFolderChain(const char *path, int *created);
// Removes the levels that CreateFolderChain made, deepest first, each only when empty.
void RemoveCreatedChain(const char *path, int levels);
int TestFolderWritable(const char *folder);
// Starts a hidden cacls run that grants everyone full access to the InstallFolder, when it
// is the game's own folder (created by this run, or holding this game's install.env),
// reached through no link or substituted drive, and no system, program or user folder.
// Makes the temp folder current; reports nothing.
void GrantFullAccess(const char *folder, int created);

// The protected copy of the uninstaller (kept_copy_win32.cpp): when the package's
// UnInst.exe is fernpack's own, writes it, its list and the settings file from the
// package into a new protected folder (install/protected_folder.h) with UnInst.dir naming
// the InstallFolder, and removes the copy that the title's uninstall entry started
// before. program (kPathSize bytes) receives the uninstaller that the entry and the
// shortcut are to start: the protected copy, or the InstallFolder's UnInst.exe when there
// is none. 0 when the copy was made.
int KeepUninstallerCopy(const char *install_folder, char *program);

// Shortcuts (shortcuts_win32.cpp). The uninstaller's shortcut starts uninstaller. The
// desktop question only asks (true: OK with its box ticked); a suspended thread given to
// it (or nullptr) is resumed once the question is up, so that the thread's work does not
// hold up the window the player waits for. CreateDesktopShortcut makes the shortcut to the
// game's program.
int IsVistaOrLater();
int CreateStartMenuShortcuts(const char *install_folder, const char *uninstaller);
bool AskDesktopShortcut(void *start_when_shown);
int CreateDesktopShortcut(const char *install_folder);

// The completion dialog (completion_win32.cpp): 1 when the player asked for the readme.
int ShowCompletionDialog();

#endif
