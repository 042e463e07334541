// Shell integration: the "Convert with Tamber" context-menu verb and the program folder.
#pragma once

// The verb and the extensions it is registered for, in order.
constexpr const char* LSHELL_VERB = "Convert with Tamber";
constexpr int LSHELL_EXTENSION_COUNT = 17;
extern const char* const kShellExtensions[LSHELL_EXTENSION_COUNT];

// Registers the verb for the extension's file type with the command "<executable>" "%L",
// among the machine's classes or, when the user may not change those, among his own; false when
// it could be written in neither. Windows only: other systems have no file-type registry.
bool ShellAddVerb(const char* extension, const char* verb, const char* executable);
// Removes the verb again, from both places (only when the extension has a file type). Windows
// only.
void ShellRemoveVerb(const char* extension, const char* verb);

// The installation folder (at most 259 characters). On Windows: the "ProgramFilesDir" folder
// then "Velmora" then "Tamber", each level created when missing with the rights it inherits.
// Elsewhere: the folder of the running executable.
void ProgramFolder(char* dest);
