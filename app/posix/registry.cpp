// The configuration store on POSIX systems: two plain-text files ("machine.ini" for the
// machine-wide root, "user.ini" for the per-user root) in the user's configuration folder.
// Each file holds "[key path]" lines followed by "name=text" lines; "@" names a key's default
// value. '%', control characters, and the characters that would break a line are written as
// "%XX". Updates take an exclusive lock and replace the file atomically, so several running
// instances never see a half-written store.
#include "app/registry.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/file.h"
#include "support/trace.h"

namespace {

struct Section {
    std::string key;
    std::vector<std::pair<std::string, std::string>> values;
};
using Store = std::vector<Section>;

void MakeFolders(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
    }
}

// The user's configuration folder (under TAMBER_HOME when that is set).
std::string ConfigFolder() {
    char folder[LMAX_PATH];
    LFile::GetUserConfigFolder(folder);
    return folder;
}

const char* FileName(LRegistryRoot root) {
    return root == LRegistryRoot::LocalMachine ? "machine.ini" : "user.ini";
}

// Characters escaped in every field, plus those special to the field's position.
std::string Escape(const std::string& text, const char* special) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || c == '%' || std::strchr(special, c)) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string Unescape(const char* p, const char* end) {
    std::string out;
    for (; p < end; ++p) {
        if (*p == '%' && end - p >= 3 && HexDigit(p[1]) >= 0 && HexDigit(p[2]) >= 0) {
            out += char(HexDigit(p[1]) * 16 + HexDigit(p[2]));
            p += 2;
        } else {
            out += *p;
        }
    }
    return out;
}

std::string ValueName(const char* valueName) {
    return (valueName && *valueName) ? Escape(valueName, "=@[;") : std::string("@");
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[8192];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, size_t(n));
    close(fd);
    return n == 0;
}

Store Parse(const std::string& text) {
    Store store;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        const char* line = text.data() + pos;
        const char* end = text.data() + eol;
        pos = eol + 1;
        if (end > line && end[-1] == '\r') --end;
        if (line == end || *line == ';') continue;
        if (*line == '[') {
            const char* close = end;
            while (close > line && close[-1] != ']') --close;
            if (close <= line + 1) continue;
            store.push_back({Unescape(line + 1, close - 1), {}});
            continue;
        }
        const char* eq = static_cast<const char*>(std::memchr(line, '=', size_t(end - line)));
        if (!eq || store.empty()) continue;
        store.back().values.emplace_back(std::string(line, eq), Unescape(eq + 1, end));
    }
    return store;
}

std::string Format(const Store& store) {
    std::string out = "; Tamber settings\n";
    for (const Section& s : store) {
        out += "[" + Escape(s.key, "]") + "]\n";
        for (const auto& [name, value] : s.values) out += name + "=" + Escape(value, "") + "\n";
    }
    return out;
}

Section* FindSection(Store& store, const char* keyPath) {
    for (Section& s : store)
        if (strcasecmp(s.key.c_str(), keyPath) == 0) return &s;
    return nullptr;
}

std::string* FindValue(Section& s, const std::string& name) {
    for (auto& [n, v] : s.values)
        if (strcasecmp(n.c_str(), name.c_str()) == 0) return &v;
    return nullptr;
}

void CopyCut(char* out, const char* text) {
    size_t n = std::strlen(text);
    if (n > LMAX_PATH - 1) n = LMAX_PATH - 1;
    std::memcpy(out, text, n);
    out[n] = 0;
}

// Runs a read-modify-write of one store file under the folder's exclusive lock.
template <class F>
bool Update(LRegistryRoot root, F change) {
    if (root == LRegistryRoot::ClassesRoot) return false;
    std::string folder = ConfigFolder();
    MakeFolders(folder);
    int lock = open((folder + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0) {
        LTrace("RegistryWriteString cannot create the store lock");
        return false;
    }
    flock(lock, LOCK_EX);
    std::string path = folder + "/" + FileName(root);
    std::string text;
    ReadWholeFile(path, text);
    Store store = Parse(text);
    bool ok = false;
    if (change(store)) {
        std::string tmp = path + ".tmp" + std::to_string(getpid());
        int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            std::string out = Format(store);
            ok = write(fd, out.data(), out.size()) == ssize_t(out.size());
            ok = (close(fd) == 0) && ok;
            ok = ok && rename(tmp.c_str(), path.c_str()) == 0;
            if (!ok) unlink(tmp.c_str());
        }
        if (!ok) LTrace("RegistryWriteString cannot write the store file");
    }
    flock(lock, LOCK_UN);
    close(lock);
    return ok;
}

}  // namespace

bool RegistryReadString(LRegistryRoot root, const char* keyPath, const char* valueName, char* out,
                        const char* defaultText) {
    out[0] = 0;
    if (root != LRegistryRoot::ClassesRoot) {
        std::string text;
        if (ReadWholeFile(ConfigFolder() + "/" + FileName(root), text)) {
            Store store = Parse(text);
            if (Section* s = FindSection(store, keyPath)) {
                if (std::string* v = FindValue(*s, ValueName(valueName))) {
                    CopyCut(out, v->c_str());
                    return true;
                }
            }
        }
    }
    CopyCut(out, defaultText ? defaultText : "");
    return false;
}

bool RegistryWriteString(LRegistryRoot root, const char* keyPath, const char* valueName,
                         const char* text) {
    std::string name = ValueName(valueName);
    return Update(root, [&](Store& store) {
        Section* s = FindSection(store, keyPath);
        if (!s) {
            store.push_back({keyPath, {}});
            s = &store.back();
        }
        if (std::string* v = FindValue(*s, name))
            *v = text;
        else
            s->values.emplace_back(name, text);
        return true;
    });
}

void RegistryDeleteValue(LRegistryRoot root, const char* keyPath, const char* valueName) {
    std::string name = ValueName(valueName);
    Update(root, [&](Store& store) {
        Section* s = FindSection(store, keyPath);
        if (!s) return false;
        for (auto it = s->values.begin(); it != s->values.end(); ++it) {
            if (strcasecmp(it->first.c_str(), name.c_str()) == 0) {
                s->values.erase(it);
                return true;
            }
        }
        return false;
    });
}

bool RegistryDeleteKey(LRegistryRoot root, const char* keyPath) {
    return Update(root, [&](Store& store) {
        for (auto it = store.begin(); it != store.end(); ++it) {
            if (strcasecmp(it->key.c_str(), keyPath) == 0) {
                store.erase(it);
                return true;
            }
        }
        return false;
    });
}

void RegistryStoreFolder(char* dest) {
    CopyCut(dest, ConfigFolder().c_str());
}
