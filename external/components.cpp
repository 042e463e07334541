// Install-on-demand: the component look-up shared by every platform.
#include "external/components.h"

#include <cstdio>
#include <cstring>

#include "support/trace.h"

void ComponentKeyPath(char* dest, const char* name) {
    std::snprintf(dest, LMAX_PATH, "Software\\Velmora\\Components\\%s", name ? name : "");
}

int ProcessGetComponentPath(LProgressDialog* dlg, LProcessGetComponentPath* data) {
    if (ComponentReadPath(data->name, data->path)) return LPROCESS_OK;
    int status = ProcessDownloadComponent(dlg, data->name);
    if (status == LPROCESS_STOPPED) return status;
    if (ComponentReadPath(data->name, data->path)) return LPROCESS_OK;
    dlg->ShowError(ComponentInstallFailedMessage(data->name).c_str());
    return LPROCESS_FAILED;
}
