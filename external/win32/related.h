// The maker's related programs: starting one (installing it first when needed) and the setup
// wizard's page that offers to install them.
#pragma once

#include <windows.h>

#include <string>

#include "support/progress.h"

struct LRelatedProgram {
    const char* key;      // settings key name: "Software\Velmora\<key>\Settings"
    const char* verb;     // the value under that key holding the command template
    const char* setup;    // installer name (install on demand)
    const char* display;  // display name
    const char* caption;  // progress caption of a start
    const char* page;     // page on the maker's web site
};

// Quorra, Fennix, Tallowin, Mirabel, in this order.
extern const LRelatedProgram kRelatedPrograms[4];

// Installed: the verb's value is present and not empty.
bool LRelatedProgramInstalled(const LRelatedProgram& program);

// Process data record of a start.
struct LRunRelated {
    const LRelatedProgram* program = nullptr;
    std::string argument;  // takes the place of the template's %s
    bool wait = false;     // wait (at most an hour) until the program ends
    HWND owner = nullptr;  // owner of the question box
};
int LRunRelatedProgram(LProgressDialog* dlg, LRunRelated* data);

// Starts the program behind a progress dialog with its caption; true on status 0.
bool LRelatedProgramRun(HWND owner, const LRelatedProgram& program, const std::string& argument,
                        bool wait);

// The wizard "Tamber Install Wizard" with the related-programs page; on "Install" the ticked
// programs are installed in order, and the first failure is reported and ends the run.
// Returns true when the wizard was finished and every ticked program installed.
bool LRelatedProgramsWizardRun(HWND owner);
