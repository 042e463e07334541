// The configuration store on POSIX systems: two plain-text files ("machine.ini" for the
// machine-wide root, "user.ini" for the per-user root) in the user's configuration folder.
// Each file holds "[key path]" lines followed by "name=text" lines; "@" names a key's default
// value. '%', control characters, and the characters that would break a line are written as
// "%XX". Updates take an exclusive lock and replace the file atomically, so several running
// instances never see a half-written store.
#include "store/registry.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
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
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
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

// A change to a store, applied to the parsed text; false when there was nothing to change.
using Change = std::function<bool(Store&)>;

// What this process last read or wrote of one store file, known by the file's identity (a
// replaced file is a new inode): reads take it from here while the file has not changed.
struct Cached {
    std::string path;
    bool known = false;  // the file existed, with this identity
    bool read = false;   // store holds the file's content (or is empty for a missing file)
    ino_t inode = 0;
    off_t size = 0;
    timespec mtime{}, ctime{};
    Store store;
    std::vector<Change> held;  // changes not yet written (while writes are held)
};
std::recursive_mutex g_lock;  // the caches, and one update at a time within this process
Cached g_cache[2];
bool g_holding = false;
std::string g_unreadable;  // a store file that a write found unreadable

bool SameFile(const Cached& c, const struct stat& st) {
    return c.known && c.inode == st.st_ino && c.size == st.st_size &&
           c.mtime.tv_sec == st.st_mtim.tv_sec && c.mtime.tv_nsec == st.st_mtim.tv_nsec &&
           c.ctime.tv_sec == st.st_ctim.tv_sec && c.ctime.tv_nsec == st.st_ctim.tv_nsec;
}

void Remember(Cached& c, const std::string& path, Store store) {
    struct stat st;
    c.path = path;
    c.known = stat(path.c_str(), &st) == 0;
    if (c.known)
        c.inode = st.st_ino, c.size = st.st_size, c.mtime = st.st_mtim, c.ctime = st.st_ctim;
    c.store = std::move(store);
    c.read = true;
}

// The store as it is now: read again only when the file changed since, not at all while writes
// are held once it was read (this run's view). Null when the file cannot be read.
Store* Current(LRegistryRoot root) {
    Cached& c = g_cache[root == LRegistryRoot::LocalMachine ? 0 : 1];
    const std::string path = ConfigFolder() + "/" + FileName(root);
    if (c.path != path) {
        c = Cached{};
        c.path = path;
    }
    if (g_holding && c.read) return &c.store;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {  // no file yet: an empty store
        c.store.clear();
        c.known = false;
        c.read = true;
        return &c.store;
    }
    // Without held writes every read looks at the file itself: an edit in place within one
    // clock tick could keep the file's identity.
    if (!g_holding || !SameFile(c, st)) {
        std::string text;
        if (!ReadWholeFile(path, text)) return nullptr;
        Remember(c, path, Parse(text));
    }
    c.read = true;
    return &c.store;
}

// Writes the changes into one store file under the folder's exclusive lock, on top of the file
// as it is now. `applied`: the cached store already holds them and the file, when unchanged
// since it was cached, needs no reading. False when nothing could be written.
bool Write(LRegistryRoot root, const std::vector<Change>& changes, bool applied) {
    Cached& cache = g_cache[root == LRegistryRoot::LocalMachine ? 0 : 1];
    std::string folder = ConfigFolder();
    MakeFolders(folder);
    int lock = open((folder + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0) {
        LTrace("RegistryWriteString cannot create the store lock");
        return false;
    }
    flock(lock, LOCK_EX);
    const std::string path = folder + "/" + FileName(root);
    struct stat st;
    const bool exists = stat(path.c_str(), &st) == 0;
    const bool unchanged =
        applied && cache.path == path && (exists ? SameFile(cache, st) : !cache.known);
    Store store;
    bool changed = false;
    if (unchanged) {
        store = cache.store;
        changed = true;
    } else {
        std::string text;
        // A file that is there but cannot be read holds settings nobody may lose: it is never
        // replaced by one holding only this change.
        if (exists && !ReadWholeFile(path, text)) {
            LTrace("RegistryWriteString cannot read the store file: nothing written");
            g_unreadable = path;
            flock(lock, LOCK_UN);
            close(lock);
            return false;
        }
        store = Parse(text);
        for (const Change& change : changes) changed = change(store) || changed;
    }
    bool ok = false;
    if (changed) {
        std::string tmp = path + ".tmp" + std::to_string(getpid());
        int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            std::string out = Format(store);
            ok = write(fd, out.data(), out.size()) == ssize_t(out.size());
            ok = ok && fsync(fd) == 0;  // on the disk before it takes the name
            ok = (close(fd) == 0) && ok;
            ok = ok && rename(tmp.c_str(), path.c_str()) == 0;
            if (!ok) unlink(tmp.c_str());
        }
        if (!ok) LTrace("RegistryWriteString cannot write the store file");
        if (ok) Remember(cache, path, std::move(store));
    }
    flock(lock, LOCK_UN);
    close(lock);
    return ok;
}

// Runs a read-modify-write of one store file under the folder's exclusive lock.
bool Update(LRegistryRoot root, const Change& change) {
    if (root == LRegistryRoot::ClassesRoot) return false;
    std::lock_guard<std::recursive_mutex> hold(g_lock);
    Cached& cache = g_cache[root == LRegistryRoot::LocalMachine ? 0 : 1];
    if (g_holding) {
        // Applied to this run's view now, written with the others when writes are released.
        if (!Current(root)) {
            g_unreadable = cache.path;
            return false;
        }
        if (!change(cache.store)) return true;
        cache.held.push_back(change);
        return true;
    }
    return Write(root, {change}, false);
}
}  // namespace

bool RegistryReadString(LRegistryRoot root, const char* keyPath, const char* valueName, char* out,
                        const char* defaultText) {
    out[0] = 0;
    if (root != LRegistryRoot::ClassesRoot) {
        std::lock_guard<std::recursive_mutex> hold(g_lock);
        if (Store* store = Current(root)) {
            if (Section* s = FindSection(*store, keyPath)) {
                if (std::string* v = FindValue(*s, ValueName(valueName))) {
                    LCopyPath(out, v->c_str());
                    return true;
                }
            }
        }
    }
    LCopyPath(out, defaultText ? defaultText : "");
    return false;
}

bool RegistryWriteString(LRegistryRoot root, const char* keyPath, const char* valueName,
                         const char* text) {
    // Changes may be kept past this call (held writes): they own copies of their texts.
    return Update(root, [key = std::string(keyPath), name = ValueName(valueName),
                         text = std::string(text)](Store& store) {
        Section* s = FindSection(store, key.c_str());
        if (!s) {
            store.push_back({key, {}});
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
    Update(root, [key = std::string(keyPath), name = ValueName(valueName)](Store& store) {
        Section* s = FindSection(store, key.c_str());
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
    return Update(root, [key = std::string(keyPath)](Store& store) {
        for (auto it = store.begin(); it != store.end(); ++it) {
            if (strcasecmp(it->key.c_str(), key.c_str()) == 0) {
                store.erase(it);
                return true;
            }
        }
        return false;
    });
}

void RegistryHoldWrites() {
    std::lock_guard<std::recursive_mutex> hold(g_lock);
    g_holding = true;
}

bool RegistryReleaseWrites() {
    std::lock_guard<std::recursive_mutex> hold(g_lock);
    g_holding = false;
    bool ok = true;
    for (int r = 0; r < 2; ++r) {
        Cached& c = g_cache[r];
        if (c.held.empty()) continue;
        std::vector<Change> held = std::move(c.held);
        c.held.clear();
        const LRegistryRoot root =
            r == 0 ? LRegistryRoot::LocalMachine : LRegistryRoot::CurrentUser;
        ok = Write(root, held, true) && ok;
    }
    return ok;
}

void RegistryStoreFolder(char* dest) {
    LCopyPath(dest, ConfigFolder().c_str());
}

bool RegistryUnreadableFile(char* dest) {
    std::lock_guard<std::recursive_mutex> hold(g_lock);
    LCopyPath(dest, g_unreadable.c_str());
    return !g_unreadable.empty();
}
