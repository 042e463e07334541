// Shell integration: the "Convert with Tamber" context-menu verb and the program folder.
#pragma once

// The verb and the extensions it is registered for, in order.
constexpr const char* LSHELL_VERB = "Convert with Tamber";
constexpr int LSHELL_EXTENSION_COUNT = 16;
extern const char* const kShellExtensions[LSHELL_EXTENSION_COUNT];

// Registers the verb for the extension's file type with the command
// <executable> "%L". Platforms without a shell file-type registry do nothing.
void ShellAddVerb(const char* extension, const char* verb, const char* executable);
// Removes the verb again (only when the extension has a file type).
void ShellRemoveVerb(const char* extension, const char* verb);

// The installation folder (at most 259 characters). On Windows: the "ProgramFilesDir" folder
// then "Velmora" then "Tamber", each level created when missing, the last one open to everyone.
// Elsewhere: the folder of the running executable.
void ProgramFolder(char* dest);
