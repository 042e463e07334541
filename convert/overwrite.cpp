// The overwrite rule: read once a batch, asked at most once when it is "AlwaysPrompt".
#include "convert/overwrite.h"

#include <string>

#include "convert/messages.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "support/fileops.h"

LOverwriteRule LReadOverwriteRule() {
    if (SettingsRead(kAlwaysPrompt)) return LOverwriteRule::Ask;
    if (SettingsRead(kAlwaysOverwrite)) return LOverwriteRule::Overwrite;
    if (SettingsRead(kNeverOverwrite)) return LOverwriteRule::Skip;
    if (SettingsRead(kCancelAll)) return LOverwriteRule::Cancel;
    return LOverwriteRule::Overwrite;  // the remembered answer, which nothing changes then
}

LOverwriteVerdict LDecideOverwrite(LUser& user, const char* path, LOverwriteRule rule,
                                   LOverwriteState& state) {
    if (!LFileExists(path)) return LOverwriteVerdict::Write;
    switch (rule) {
        case LOverwriteRule::Overwrite:
            return LOverwriteVerdict::Write;
        case LOverwriteRule::Skip:
            return LOverwriteVerdict::Skip;
        case LOverwriteRule::Cancel:
            return LOverwriteVerdict::Stop;
        case LOverwriteRule::Ask:
            break;
    }
    if (state.ask) {
        std::string q = LFormatMessage(
            "The output file \"%s\" already exists. Do you want to overwrite it?", path);
        switch (user.AskYesNoCancel(q.c_str(), "Tamber")) {
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
    if (!state.proceed) return LOverwriteVerdict::Stop;
    return state.skip ? LOverwriteVerdict::Skip : LOverwriteVerdict::Write;
}

LOverwriteVerdict LEntryOverwrite(LUser& user, const LConvertRequest& request,
                                  const LEntryPaths& paths, LOverwriteState& state) {
    if (paths.sameFile) return LOverwriteVerdict::Write;
    return LDecideOverwrite(user, paths.finalPath, request.overwrite, state);
}
