// Install-on-demand components: finding a component's executable and installing it when missing.
#pragma once

#include <cstdint>
#include <string>

#include "support/file.h"
#include "support/progress.h"

// Process data record: the component name in, the executable's full path out.
struct LProcessGetComponentPath {
    const char* name = nullptr;
    char path[LMAX_PATH] = {};
};

// Reads the component's recorded "Path" (key "Software\Velmora\Components\<name>");
// false when it is not installed. An empty value counts as installed. On systems without a
// download service the well-known program is also looked for on PATH and recorded.
bool ComponentReadPath(const char* name, char* path);
// The store key of a component ("Software\Velmora\Components\<name>").
void ComponentKeyPath(char* dest, const char* name);

// Finds the component, installing it on demand; 0 when the path is known, LPROCESS_STOPPED
// when the user cancelled, LPROCESS_FAILED after telling the user it cannot be installed.
int ProcessGetComponentPath(LProgressDialog* dlg, LProcessGetComponentPath* data);
// Downloads the component's installer ("<name>.exe" in the servers' "components" folder),
// runs it and deletes it again. Systems without a download service return LPROCESS_FAILED.
int ProcessDownloadComponent(LProgressDialog* dlg, const char* name);
// The same for the maker's other programs (the related-programs page of setup).
int ProcessInstallProgram(LProgressDialog* dlg, const char* installerName);

// The message shown when a component cannot be installed.
std::string ComponentInstallFailedMessage(const char* name);
// The message shown when a downloaded installer is not the published file (checked by size and
// SHA-256), before the one above.
std::string ComponentDamagedMessage(const char* name);

// Addresses of the maker's web pages quoted in messages.
inline constexpr const char* kComponentsWebPage = "http://www.velmora.com/components.html";
inline constexpr const char* kSoftwareWebPage = "http://www.velmora.com/software.html";
inline constexpr const char* kVoiceItWebPage = "http://www.velmora.com/voiceit.html";

// Settings (section "InstallOnDemand") that move the download to other servers: "FirstServer"
// and "SecondServer" hold "host" or "host:port"; "InstallerWait" limits the wait for an
// installer in milliseconds (used by the tests; the product waits 120000 ms).
inline constexpr const char* kInstallSection = "InstallOnDemand";
inline constexpr const char* kFirstServerDefault = "ftp1.velmora.com";
inline constexpr const char* kSecondServerDefault = "ftp2.velmora.com";
inline constexpr uint32_t kInstallerWaitMs = 120000;
