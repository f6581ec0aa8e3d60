// Modules: the built-in registry, then shared objects beside the program.
#include "host/module.h"

#include "host/host.h"

#include <dlfcn.h>
#include <strings.h>

#include <algorithm>
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
std::vector<Builtin*> g_builtins;  // never freed while a module may name them

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
    for (Builtin* b : g_builtins) {
        if (strcasecmp(b->name.c_str(), name) == 0) {
            b->symbols.assign(symbols, symbols + count);
            return;
        }
    }
    g_builtins.push_back(new Builtin{name, std::vector<ModuleSymbol>(symbols, symbols + count)});
}

void UnregisterBuiltinModule(const char* name) {
    if (!name) return;
    std::lock_guard<std::mutex> lock(g_lock);
    // The record stays (a loaded module may still read it); only its name goes.
    for (Builtin* b : g_builtins)
        if (strcasecmp(b->name.c_str(), name) == 0) b->name.clear();
}

Module* LoadLibrary(const char* name) {
    if (!name || !*name) return nullptr;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        for (Builtin* b : g_builtins)
            if (!b->name.empty() && strcasecmp(b->name.c_str(), name) == 0) return new Module{&b->symbols, nullptr};
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
