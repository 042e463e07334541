// Shell links and the start-menu and desktop folders of the setup roles.
#pragma once

// Creates the shell link at linkPath pointing to target; false when it could not be saved.
bool SetupCreateLink(const char* linkPath, const char* target);
// The program's start-menu group ("<programs>\Tamber"); false when there is no start menu.
bool SetupStartMenuGroup(char* dest);
// The start-menu item name in the group: "<group>\<name>.lnk"; false without a start menu.
bool SetupStartMenuItem(char* dest, const char* name);
// The desktop link "<desktop>\Tamber.lnk".
void SetupDesktopLink(char* dest);
