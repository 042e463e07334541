// The overwrite rule: asks once per batch when "AlwaysPrompt" is on, else applies the set rule.
#include "convert/overwrite.h"

#include <string>

#include "convert/messages.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "support/fileops.h"

void LDecideOverwrite(LConvertHost& host, const char* path, LOverwriteState& state, bool& proceed,
                      bool& skip) {
    if (!LFileExists(path)) {
        proceed = true;
        skip = false;
        return;
    }
    if (SettingsRead(kAlwaysPrompt)) {
        if (state.ask) {
            std::string q = LFormatMessage(
                "The output file \"%s\" already exists. Do you want to overwrite it?", path);
            switch (host.AskYesNoCancel(q.c_str(), "Tamber")) {
                case LANSWER_YES:
                    state.proceed = true, state.skip = false;
                    break;
                case LANSWER_NO:
                    state.proceed = true, state.skip = true;
                    break;
                default:
                    state.proceed = false, state.skip = true;
                    break;
            }
            state.ask = false;
        }
    } else if (SettingsRead(kAlwaysOverwrite)) {
        proceed = true, skip = false;
        return;
    } else if (SettingsRead(kNeverOverwrite)) {
        proceed = true, skip = true;
        return;
    } else if (SettingsRead(kCancelAll)) {
        proceed = false, skip = true;
        return;
    }
    proceed = state.proceed;
    skip = state.skip;
}
