// Install-on-demand: the component look-up shared by every platform.
#include "external/components.h"

#include <cstdio>
#include <cstring>

#include "external/componentdigests.h"
#include "support/trace.h"

void ComponentKeyPath(char* dest, const char* name) {
    std::snprintf(dest, LMAX_PATH, "Software\\Velmora\\Components\\%s", name ? name : "");
}

std::string ComponentDamagedMessage(const char* name) {
    std::string text = "The downloaded install-on-demand component \"";
    text += name ? name : "";
    text += "\" is damaged or is not the file Tamber expects, so it was not run.";
    return text;
}

const LComponentDigest* ComponentDigest(const char* name) {
    for (const LComponentDigest* row = kComponentDigests; name && row->name; ++row)
        if (std::strcmp(row->name, name) == 0) return row;
    return nullptr;
}

int ProcessGetComponentPath(LProgressDialog* dlg, LProcessGetComponentPath* data) {
    if (ComponentReadPath(data->name, data->path)) return LPROCESS_OK;
    int status = ProcessDownloadComponent(dlg, data->name);
    if (status == LPROCESS_STOPPED) return status;
    if (ComponentReadPath(data->name, data->path)) return LPROCESS_OK;
    dlg->ShowError(ComponentInstallFailedMessage(data->name).c_str());
    return LPROCESS_FAILED;
}
