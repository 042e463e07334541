// The database request for one disc and the check of what comes back.
#include "cd/arlookup.h"

#include "store/settingnames.h"
#include "support/file.h"
#include "support/http.h"

LARLookup ProcessARLookup(LProgressDialog* dlg, const LARDiscIds& ids,
                          std::vector<LARPressing>& pressings) {
    pressings.clear();
    char server[LMAX_PATH];
    SettingsRead(kARServer, server);
    LHttpRequest request;
    request.server = server;
    request.path = LARDatabasePath(ids);
    const int32_t timeout = SettingsRead(kARTimeout);
    if (timeout >= 1 && timeout < kARTimeout.byDefault) request.timeoutMs = uint32_t(timeout);
    request.maxBody = kARMaxReplyBytes;
    if (dlg) dlg->SetText("Looking the disc up in AccurateRip", 1);
    std::vector<uint8_t> body;
    switch (ProcessHttpGet(dlg, request, body)) {
        case LHttpOutcome::Ok:
            return LARParseReply(body.data(), body.size(), ids, pressings) ? LARLookup::Found
                                                                           : LARLookup::NotFound;
        case LHttpOutcome::NotFound:
            return LARLookup::NotFound;
        case LHttpOutcome::Stopped:
            return LARLookup::Stopped;
        case LHttpOutcome::Failed:
            break;
    }
    return LARLookup::Failed;
}
