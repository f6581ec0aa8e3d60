// Modules: the built-in registry, then shared objects beside the program.
#include "host/module.h"

#include "host/host.h"

#include <dlfcn.h>
#include <strings.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace host {

struct Module {
    const std::vector<ModuleSymbol>* builtin;  // the registered table, or null
    void* library;                              // dlopen's handle, or null
};

namespace {

struct Builtin {
    std::string name;
    std::vector<ModuleSymbol> symbols;
};

std::mutex g_lock;

// The registered modules.  Records never move and are never freed (a loaded
// module points into its record), so the list lives as long as the process.
std::deque<Builtin>& Builtins() {
    static auto* list = new std::deque<Builtin>;
    return *list;
}

std::string SharedObjectName(const char* name) {
    std::string file = name;
    if (file.size() >= 4 && strcasecmp(file.c_str() + file.size() - 4, ".dll") == 0) file.replace(file.size() - 4, 4, ".so");
    return file;
}

std::string ProgramDirectory() {
    char module[1024];
    GetModuleFileName(module, sizeof module);
    std::string path = module;
    size_t cut = path.rfind('\\');
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

}  // namespace

void RegisterBuiltinModule(const char* name, const ModuleSymbol* symbols, size_t count) {
    if (!name || !*name) return;
    std::lock_guard<std::mutex> lock(g_lock);
    // The record of that name, else one whose name was taken away, else a
    // new one.
    Builtin* slot = nullptr;
    for (Builtin& b : Builtins()) {
        if (strcasecmp(b.name.c_str(), name) == 0) {
            slot = &b;
            break;
        }
        if (!slot && b.name.empty()) slot = &b;
    }
    if (!slot) slot = &Builtins().emplace_back();
    slot->name = name;
    slot->symbols.assign(symbols, symbols + count);
}

void UnregisterBuiltinModule(const char* name) {
    if (!name) return;
    std::lock_guard<std::mutex> lock(g_lock);
    // The record stays (a loaded module may still read it); only its name goes.
    for (Builtin& b : Builtins())
        if (strcasecmp(b.name.c_str(), name) == 0) b.name.clear();
}

Module* LoadLibrary(const char* name) {
    if (!name || !*name) return nullptr;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        for (Builtin& b : Builtins())
            if (!b.name.empty() && strcasecmp(b.name.c_str(), name) == 0) return new Module{&b.symbols, nullptr};
    }
    std::string path = ToNativePath((ProgramDirectory() + "\\" + SharedObjectName(name)).c_str());
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return library ? new Module{nullptr, library} : nullptr;
}

void* GetProcAddress(Module* module, const char* name) {
    if (!module || !name) return nullptr;
    if (module->library) return dlsym(module->library, name);
    std::lock_guard<std::mutex> lock(g_lock);
    for (const ModuleSymbol& s : *module->builtin)
        if (s.name && std::string(s.name) == name) return s.address;
    return nullptr;
}

bool FreeLibrary(Module* module) {
    if (!module) return false;
    if (module->library) dlclose(module->library);
    delete module;
    return true;
}

}  // namespace host
