// Files, directories, drive roots and the registry file of the host layer.
//
// The program names files the way its original system does: backslashes,
// ".\" prefixes, drive letters, and names in any letter case.  Every such path
// goes through ToNativePath, which maps drive roots to configured directories
// and finds each existing component case-insensitively.
#include "host/backend.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <strings.h>
#include <unistd.h>

namespace host {

namespace {

struct Drive {
    std::string native;
    uint32_t type;
};
std::map<char, Drive> g_drives;
std::string g_registryFile;
// The log of syncs and moves a test reads, and whether syncs fail.
std::vector<std::string>* g_fileCallLog = nullptr;
bool g_failSync = false;

void LogFileCall(const std::string& line) {
    if (g_fileCallLog) g_fileCallLog->push_back(line);
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool IsDirectory(const std::string& native) {
    struct stat st;
    return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& native) {
    struct stat st;
    return stat(native.c_str(), &st) == 0;
}

// Finds `name` in `dir` ignoring letter case; the exact name wins.
std::string FindComponent(const std::string& dir, const std::string& name) {
    std::string probe = dir.empty() ? name : (dir == "/" ? "/" + name : dir + "/" + name);
    if (name == "." || name == ".." || Exists(probe)) return name;
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return name;
    std::string found = name;
    while (dirent* e = readdir(d)) {
        if (strcasecmp(e->d_name, name.c_str()) == 0) {
            found = e->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

std::string ProgramDirectoryNative() {
    char module[4096];
    GetModuleFileName(module, sizeof module);
    std::string native = ToNativePath(module);
    size_t slash = native.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : (slash == 0 ? std::string("/") : native.substr(0, slash));
}

}  // namespace

// ---------------------------------------------------------------------------
// Paths
// ---------------------------------------------------------------------------

std::string ToNativePath(const char* path) {
    if (!path) return std::string();
    std::string p(path);
    std::replace(p.begin(), p.end(), '\\', '/');
    std::string base;  // native prefix already resolved
    size_t pos = 0;
    if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) {
        auto it = g_drives.find(Upper(p[0]));
        // An unmapped drive leads nowhere, so nothing on it exists.
        base = it != g_drives.end() ? it->second.native : std::string("/nonexistent-drive-") + Upper(p[0]);
        pos = 2;
        while (pos < p.size() && p[pos] == '/') ++pos;
        if (base.size() > 1 && base.back() == '/') base.pop_back();
    } else if (!p.empty() && p[0] == '/') {
        base = "/";
        pos = 1;
    }
    std::string out = base;
    bool resolving = true;
    while (pos <= p.size()) {
        size_t next = p.find('/', pos);
        if (next == std::string::npos) next = p.size();
        std::string comp = p.substr(pos, next - pos);
        pos = next + 1;
        if (comp.empty()) {
            if (next >= p.size()) break;
            continue;
        }
        if (resolving) {
            std::string found = FindComponent(out, comp);
            std::string probe = out.empty() ? found : (out == "/" ? "/" + found : out + "/" + found);
            if (!Exists(probe)) resolving = false;
            comp = found;
        }
        out = out.empty() ? comp : (out == "/" ? "/" + comp : out + "/" + comp);
        if (next >= p.size()) break;
    }
    if (out.empty()) out.assign(1, '.');
    return out;
}

std::string ToSystemPath(const std::string& native) {
    std::string s = native;
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

size_t GetCurrentDirectory(char* buffer, size_t size) {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd) || !buffer || size == 0) return 0;
    std::string s = ToSystemPath(cwd);
    if (s.size() + 1 > size) return s.size() + 1;  // too small: the size needed
    std::memcpy(buffer, s.c_str(), s.size() + 1);
    return s.size();
}

bool SetCurrentDirectory(const char* path) {
    if (!path || !*path) return false;
    return chdir(ToNativePath(path).c_str()) == 0;
}

size_t GetTempPath(char* buffer, size_t size) {
    const char* t = std::getenv("TMPDIR");
    std::string s = ToSystemPath((t && *t) ? t : "/tmp");
    if (s.empty() || s.back() != '\\') s += '\\';
    if (!buffer || s.size() + 1 > size) return 0;
    std::memcpy(buffer, s.c_str(), s.size() + 1);
    return s.size();
}

uint32_t GetFileAttributes(const char* path) {
    struct stat st;
    if (!path || stat(ToNativePath(path).c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return (access(ToNativePath(path).c_str(), W_OK) == 0) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

bool CreateDirectory(const char* path) {
    return path && mkdir(ToNativePath(path).c_str(), 0777) == 0;
}

bool DeleteFile(const char* path) {
    if (!path) return false;
    std::string native = ToNativePath(path);
    return !IsDirectory(native) && unlink(native.c_str()) == 0;
}

bool MoveFile(const char* from, const char* to) {
    if (!from || !to) return false;
    std::string source = ToNativePath(from), target = ToNativePath(to);
    LogFileCall("move " + source + " " + target);
    return !IsDirectory(source) && !IsDirectory(target) && std::rename(source.c_str(), target.c_str()) == 0;
}

// ---------------------------------------------------------------------------
// Drives
// ---------------------------------------------------------------------------

void MapDrive(char letter, const std::string& nativeDir, uint32_t type) {
    g_drives[Upper(letter)] = {nativeDir, type};
}

void ClearDrives() {
    g_drives.clear();
}

size_t GetLogicalDriveStrings(char* buffer, size_t size) {
    std::string all;
    for (const auto& [letter, drive] : g_drives) {
        all += letter;
        all += ":\\";
        all += '\0';
    }
    if (!buffer || all.size() + 1 > size) return 0;
    std::memcpy(buffer, all.data(), all.size());
    buffer[all.size()] = 0;
    return all.size();
}

uint32_t GetDriveType(const char* root) {
    if (!root || !root[0] || root[1] != ':') return DRIVE_NO_ROOT_DIR;
    auto it = g_drives.find(Upper(root[0]));
    if (it == g_drives.end()) return DRIVE_NO_ROOT_DIR;
    return it->second.type;
}

namespace detail {

// MORVANEL_DRIVES: "C=fixed:/path;D=cdrom:/media/cd".  Without it, C: is the
// program's directory, a fixed drive.
void ConfigureFilesFromEnvironment() {
    g_drives.clear();
    const char* reg = std::getenv("MORVANEL_REGISTRY");
    g_registryFile = (reg && *reg) ? reg : "";
    const char* spec = std::getenv("MORVANEL_DRIVES");
    if (!spec || !*spec) {
        MapDrive('C', ProgramDirectoryNative(), DRIVE_FIXED);
        return;
    }
    std::stringstream in(spec);
    std::string item;
    while (std::getline(in, item, ';')) {
        if (item.size() < 3 || item[1] != '=') continue;
        std::string rest = item.substr(2);
        size_t colon = rest.find(':');
        if (colon == std::string::npos) continue;
        std::string kind = rest.substr(0, colon);
        uint32_t type = strcasecmp(kind.c_str(), "cdrom") == 0   ? DRIVE_CDROM
                        : strcasecmp(kind.c_str(), "fixed") == 0 ? DRIVE_FIXED
                        : strcasecmp(kind.c_str(), "removable") == 0 ? DRIVE_REMOVABLE
                        : strcasecmp(kind.c_str(), "remote") == 0    ? DRIVE_REMOTE
                                                                     : DRIVE_UNKNOWN;
        MapDrive(item[0], rest.substr(colon + 1), type);
    }
}

}  // namespace detail

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

struct File {
    std::FILE* f;
    bool text;
    std::string native;  // the path it was opened by
};

namespace {
std::vector<File*> g_openFiles;
std::vector<std::string> g_fonts;
// Bytes the next writes may still store, negative without a limit.
std::atomic<int64_t> g_writeBudget{-1};
}  // namespace

namespace detail {
void SetFileWriteBudget(int64_t bytes) {
    g_writeBudget = bytes < 0 ? -1 : bytes;
}

void SetFileCallLog(std::vector<std::string>* log, bool failSync) {
    g_fileCallLog = log;
    g_failSync = failSync;
}
}  // namespace detail

File* FileOpen(const char* path, const char* mode) {
    if (!path || !*path || !mode) return nullptr;
    std::string native = ToNativePath(path);
    if (IsDirectory(native)) return nullptr;
    std::string m;
    bool text = true;
    for (const char* c = mode; *c; ++c) {
        if (*c == 'b') text = false;
        if (*c == 'r' || *c == 'w' || *c == 'a' || *c == '+') m += *c;
    }
    if (m.empty()) return nullptr;
    std::FILE* f = std::fopen(native.c_str(), m.c_str());
    if (!f) return nullptr;
    File* file = new File{f, text, native};
    g_openFiles.push_back(file);
    return file;
}

int FileClose(File* file) {
    if (!file) return -1;
    auto it = std::find(g_openFiles.begin(), g_openFiles.end(), file);
    if (it == g_openFiles.end()) return -1;  // not an open file of this layer
    g_openFiles.erase(it);
    int r = std::fclose(file->f);
    delete file;
    return r;
}

int FileCloseAll() {
    int n = static_cast<int>(g_openFiles.size());
    for (File* f : g_openFiles) {
        std::fclose(f->f);
        delete f;
    }
    g_openFiles.clear();
    return n;
}

int FileGetChar(File* file) {
    if (!file) return -1;
    int c = std::fgetc(file->f);
    if (file->text && c == '\r') {
        int next = std::fgetc(file->f);
        if (next == '\n') return '\n';
        if (next != EOF) std::ungetc(next, file->f);
    }
    return c == EOF ? -1 : c;
}

size_t FileRead(void* buffer, size_t size, size_t count, File* file) {
    if (!file || !buffer || size == 0) return 0;
    if (!file->text) return std::fread(buffer, size, count, file->f);
    auto* out = static_cast<unsigned char*>(buffer);
    size_t total = size * count, n = 0;
    while (n < total) {
        int c = FileGetChar(file);
        if (c < 0) break;
        out[n++] = static_cast<unsigned char>(c);
    }
    return n / size;
}

size_t FileWrite(const void* buffer, size_t size, size_t count, File* file) {
    if (!file || !buffer) return 0;
    const int64_t budget = g_writeBudget;
    if (budget < 0 || size == 0) return std::fwrite(buffer, size, count, file->f);
    // A disk that fills: what fits is stored, the rest is lost.
    const uint64_t wanted = uint64_t(size) * count;
    const size_t stored = size_t(std::min<uint64_t>(wanted, uint64_t(budget)));
    const size_t written = stored ? std::fwrite(buffer, 1, stored, file->f) : 0;
    g_writeBudget = budget - int64_t(written);
    return written / size;
}

int FileSeek(File* file, long offset, int origin) {
    return file ? std::fseek(file->f, offset, origin) : -1;
}

long FileTell(File* file) {
    return file ? std::ftell(file->f) : -1;
}

char* FileGetLine(char* buffer, int size, File* file) {
    if (!file || !buffer || size <= 0) return nullptr;
    if (size == 1) {
        buffer[0] = 0;
        return buffer;
    }
    int n = 0;
    while (n < size - 1) {
        int c = FileGetChar(file);
        if (c < 0) break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[n] = 0;
    return n == 0 ? nullptr : buffer;
}

int FileEof(File* file) {
    return file ? std::feof(file->f) : 1;
}

int FilePuts(const char* text, File* file) {
    return (file && text) ? std::fputs(text, file->f) : -1;
}

int FileFlush(File* file) {
    return file ? std::fflush(file->f) : -1;
}

int FileSync(File* file) {
    if (!file) return -1;
    LogFileCall("sync " + file->native);
    if (std::fflush(file->f) != 0 || g_failSync) return -1;
    return fsync(fileno(file->f)) == 0 ? 0 : -1;
}

bool SyncFolderOf(const char* path) {
    if (!path) return false;
    const std::string native = ToNativePath(path);
    const size_t slash = native.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/")
                                                                                         : native.substr(0, slash);
    LogFileCall("sync folder " + folder);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    const bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

std::FILE* FileNative(File* file) {
    return file ? file->f : nullptr;
}

// ---------------------------------------------------------------------------
// Registry file
// ---------------------------------------------------------------------------

namespace {

const char* RootName(RegRoot root) {
    switch (root) {
    case RegRoot::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case RegRoot::CurrentUser: return "HKEY_CURRENT_USER";
    case RegRoot::LocalMachine: return "HKEY_LOCAL_MACHINE";
    }
    return "HKEY_LOCAL_MACHINE";
}

std::string KeyPath(RegRoot root, const char* key) {
    std::string k = key ? key : "";
    while (!k.empty() && k.back() == '\\') k.pop_back();
    while (!k.empty() && k.front() == '\\') k.erase(k.begin());
    return k.empty() ? std::string(RootName(root)) : std::string(RootName(root)) + "\\" + k;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

struct RegKey {
    std::string path;
    std::vector<std::pair<std::string, std::string>> values;
};

std::vector<RegKey> LoadRegistry() {
    std::vector<RegKey> keys;
    std::ifstream in(RegistryFile());
    std::string line;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t.front() == '[' && t.back() == ']') {
            keys.push_back({Trim(t.substr(1, t.size() - 2)), {}});
            continue;
        }
        size_t eq = t.find('=');
        if (eq == std::string::npos || keys.empty()) continue;
        keys.back().values.emplace_back(Trim(t.substr(0, eq)), Trim(t.substr(eq + 1)));
    }
    return keys;
}

RegKey* FindKey(std::vector<RegKey>& keys, const std::string& path) {
    for (RegKey& k : keys)
        if (strcasecmp(k.path.c_str(), path.c_str()) == 0) return &k;
    return nullptr;
}

}  // namespace

std::string RegistryFile() {
    if (!g_registryFile.empty()) return g_registryFile;
    return ProgramDirectoryNative() + "/registry.ini";
}

void SetRegistryFile(const std::string& nativePath) {
    g_registryFile = nativePath;
}

bool RegKeyExists(RegRoot root, const char* key) {
    auto keys = LoadRegistry();
    return FindKey(keys, KeyPath(root, key)) != nullptr;
}

bool RegQueryString(RegRoot root, const char* key, const char* value, char* buffer, size_t size) {
    auto keys = LoadRegistry();
    RegKey* k = FindKey(keys, KeyPath(root, key));
    if (!k || !buffer || size == 0) return false;
    for (const auto& [name, text] : k->values) {
        if (strcasecmp(name.c_str(), value ? value : "") != 0) continue;
        size_t n = std::min(text.size(), size - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = 0;
        return true;
    }
    return false;
}

bool RegSetString(RegRoot root, const char* key, const char* value, const char* text) {
    if (!value || !text) return false;
    auto keys = LoadRegistry();
    std::string path = KeyPath(root, key);
    RegKey* k = FindKey(keys, path);
    if (!k) {
        keys.push_back({path, {}});
        k = &keys.back();
    }
    bool set = false;
    for (auto& [name, old] : k->values) {
        if (strcasecmp(name.c_str(), value) == 0) {
            old = text;
            set = true;
        }
    }
    if (!set) k->values.emplace_back(value, text);
    std::ofstream out(RegistryFile(), std::ios::trunc);
    if (!out) return false;
    for (const RegKey& key2 : keys) {
        out << '[' << key2.path << "]\n";
        for (const auto& [name, t] : key2.values) out << name << '=' << t << '\n';
        out << '\n';
    }
    return static_cast<bool>(out);
}

}  // namespace host

namespace host {

// ---------------------------------------------------------------------------
// Directory search
// ---------------------------------------------------------------------------

struct FindHandle {
    std::vector<FindData> matches;
    size_t next;
};

namespace {

bool WildMatch(const char* pattern, const char* name) {
    if (!*pattern) return !*name;
    if (*pattern == '*') {
        for (const char* n = name;; ++n) {
            if (WildMatch(pattern + 1, n)) return true;
            if (!*n) return false;
        }
    }
    if (!*name) return false;
    if (*pattern == '?' || Upper(*pattern) == Upper(*name)) return WildMatch(pattern + 1, name + 1);
    return false;
}

}  // namespace

FindHandle* FindFirstFile(const char* pattern, FindData* found) {
    if (!pattern || !found) return nullptr;
    std::string p(pattern);
    size_t cut = p.find_last_of("\\/");
    std::string dir = cut == std::string::npos ? std::string(".") : p.substr(0, cut + 1);
    std::string mask = cut == std::string::npos ? p : p.substr(cut + 1);
    std::string native = ToNativePath(dir.c_str());
    DIR* d = opendir(native.c_str());
    if (!d) return nullptr;
    auto* h = new FindHandle{{}, 0};
    while (dirent* e = readdir(d)) {
        if (!WildMatch(mask.c_str(), e->d_name)) continue;
        FindData fd{};
        std::snprintf(fd.name, sizeof fd.name, "%s", e->d_name);
        fd.attributes = IsDirectory(native + "/" + e->d_name) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        h->matches.push_back(fd);
    }
    closedir(d);
    std::sort(h->matches.begin(), h->matches.end(),
              [](const FindData& a, const FindData& b) { return std::strcmp(a.name, b.name) < 0; });
    if (h->matches.empty()) {
        delete h;
        return nullptr;
    }
    *found = h->matches[h->next++];
    return h;
}

bool FindNextFile(FindHandle* search, FindData* found) {
    if (!search || !found || search->next >= search->matches.size()) return false;
    *found = search->matches[search->next++];
    return true;
}

void FindClose(FindHandle* search) {
    delete search;
}

bool GetComputerName(char* buffer, size_t size) {
    char name[256];
    if (!buffer || size == 0 || gethostname(name, sizeof name) != 0) return false;
    name[sizeof name - 1] = 0;
    if (std::strlen(name) + 1 > size) return false;
    std::memcpy(buffer, name, std::strlen(name) + 1);
    return true;
}

// ---------------------------------------------------------------------------
// Fonts
// ---------------------------------------------------------------------------

int AddFontResource(const char* path) {
    if (!path) return 0;
    std::string native = ToNativePath(path);
    std::FILE* f = std::fopen(native.c_str(), "rb");
    if (!f || IsDirectory(native)) {
        if (f) std::fclose(f);
        return 0;
    }
    // A TrueType or OpenType file starts with its version tag.
    unsigned char tag[4] = {};
    size_t n = std::fread(tag, 1, 4, f);
    std::fclose(f);
    bool font = n == 4 && ((tag[0] == 0 && tag[1] == 1 && tag[2] == 0 && tag[3] == 0) ||
                           std::memcmp(tag, "OTTO", 4) == 0 || std::memcmp(tag, "true", 4) == 0);
    if (!font) return 0;
    char* full = realpath(native.c_str(), nullptr);
    g_fonts.emplace_back(full ? full : native);
    free(full);
    return 1;
}

const std::vector<std::string>& FontFiles() {
    return g_fonts;
}

void ClearFonts() {
    g_fonts.clear();
}

}  // namespace host
