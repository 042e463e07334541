// The process groups of the running children, so that a Ctrl+C that ends this program ends them.
#pragma once

#include <sys/types.h>

// A child that leads its own process group started (NoteChildGroup) or was waited for
// (ForgetChildGroup); any thread.
void LNoteChildGroup(pid_t group);
void LForgetChildGroup(pid_t group);
// Ends every noted group (SIGKILL); safe inside a signal handler.
void LEndChildGroups();
// Installs a SIGINT disposition for the times no process is running: every child group ends,
// then this program, as the default action would end it.
void LEndChildrenOnInterrupt();
// The same as a signal handler: what the progress surface calls on a Ctrl+C that ends the program.
void LEndChildrenAndProgram(int signal);
