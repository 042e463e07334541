// Components on Windows: the registry look-up and the download and run of a missing installer.
#include "external/components.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "external/componentdigests.h"
#include "external/process.h"
#include "external/win32/ftp.h"
#include "store/registry.h"
#include "store/settings.h"
#include "support/file.h"
#include "support/sha256.h"
#include "support/trace.h"

bool ComponentReadPath(const char* name, char* path) {
    char key[LMAX_PATH];
    ComponentKeyPath(key, name);
    return RegistryReadString(LRegistryRoot::LocalMachine, key, "Path", path, "");
}

std::string ComponentInstallFailedMessage(const char* name) {
    std::string text = "Tamber cannot install the required install-on-demand component \"";
    text += name ? name : "";
    text += "\". Please download it from ";
    text += kComponentsWebPage;
    text += " and install it manually.";
    return text;
}

namespace {

// The downloaded file is the published one: its size and SHA-256 digest.
bool IsPublishedFile(const char* path, const LComponentDigest& published) {
    LFile file;
    if (!file.Open(path) || file.GetFileSizeBytes() != int64_t(published.size)) return false;
    LSha256 digest;
    char block[65536];
    for (int32_t got; (got = file.Read(block, sizeof block)) != 0;) {
        if (got < 0) return false;
        digest.Update(block, size_t(got));
    }
    return digest.FinalHex() == published.sha256;
}

// Log on, change to "components" and download from one server; at most the published size is
// taken. refused is set when the file is not the published one.
int DownloadFromServer(LProgressDialog* dlg, const char* server, const char* remoteName,
                       const char* localPath, const LComponentDigest& published, bool& refused) {
    LFileTransferProtocol ftp;
    int status = ProcessFtpLogOnServer(dlg, &ftp, server);
    if (status != LPROCESS_OK) {
        LTrace("ProcessDownloadComponent ProcessFtpLogOnServer FAILED");
    } else {
        status = ProcessFtpSetCurrentDirectory(dlg, &ftp, "components");
        if (status != LPROCESS_OK)
            LTrace("ProcessDownloadComponent ProcessFtpSetCurrentDirectory(components) FAILED");
        else
            status =
                ProcessFtpDownload(dlg, remoteName, localPath, ftp.hService, published.size + 1);
    }
    ftp.Disconnect();
    // A file too long (cut at one byte more than published) or with other bytes is not run.
    if (status == LPROCESS_OK && !IsPublishedFile(localPath, published)) {
        LTrace("ProcessDownloadComponent the download is not the published file");
        refused = true;
        status = LPROCESS_FAILED;
    }
    return status;
}

}  // namespace

int ProcessDownloadComponent(LProgressDialog* dlg, const char* name) {
    char folder[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder) folder[0] = 0;
    std::string local = folder;
    if (!local.empty() && local.back() != '\\') local += '\\';
    local += name ? name : "";
    local += ".exe";
    if (local.size() > size_t(LMAX_PATH - 1)) local.resize(LMAX_PATH - 1);
    std::string remote = std::string(name ? name : "") + ".exe";

    dlg->SetText("Download install-on-demand", 0);
    dlg->SetText(remote.c_str(), 1);

    char first[LMAX_PATH], second[LMAX_PATH];
    SettingsReadString(kInstallSection, "FirstServer", first, kFirstServerDefault);
    SettingsReadString(kInstallSection, "SecondServer", second, kSecondServerDefault);
    // Only an installer whose digest the program knows is fetched at all.
    const LComponentDigest* published = ComponentDigest(name);
    bool refused = false;
    int status = LPROCESS_FAILED;
    if (!published)
        LTrace("ProcessDownloadComponent no published installer of that name");
    else
        status = DownloadFromServer(dlg, first, remote.c_str(), local.c_str(), *published, refused);
    if (published && status == LPROCESS_FAILED)
        status =
            DownloadFromServer(dlg, second, remote.c_str(), local.c_str(), *published, refused);
    if (refused && status == LPROCESS_FAILED) dlg->ShowError(ComponentDamagedMessage(name).c_str());

    if (status == LPROCESS_OK) {
        dlg->SetText("Running install-on-demand", 0);
        uint32_t wait =
            uint32_t(SettingsReadInt(kInstallSection, "InstallerWait", int32_t(kInstallerWaitMs)));
        LChildProcess installer;
        if (installer.StartHidden(("\"" + local + "\"").c_str())) {
            if (dlg->WaitForObject(installer, wait) != LPROCESS_FAILED) dlg->PumpMessages();
            installer.Release();
        }
    }
    DeleteFileA(local.c_str());
    return status;
}

int ProcessInstallProgram(LProgressDialog* dlg, const char* installerName) {
    return ProcessDownloadComponent(dlg, installerName);
}
