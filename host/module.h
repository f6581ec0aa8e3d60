// Modules loaded at run time: libraries of the program found by file name,
// whose entry points are looked up by name.
//
// A name is looked up (letter case ignored) first among the modules built
// into the program (RegisterBuiltinModule), then as a shared object in the
// program's directory: the name with a final ".DLL" made ".so"
// ("WQ6_640x16.DLL" -> "<program directory>/WQ6_640x16.so"), its letter case
// found as for every other file.  Entry points of a shared object are its
// extern "C" symbols.
#pragma once

#include <cstddef>

namespace host {

struct Module;

struct ModuleSymbol {
    const char* name;
    void* address;
};

// A module built in under a file name; the table is copied.  A second
// registration of the same name replaces the first.
void RegisterBuiltinModule(const char* name, const ModuleSymbol* symbols, size_t count);
void UnregisterBuiltinModule(const char* name);

// nullptr when neither a built-in module nor a file of that name loads.
// Each load answers a handle that FreeLibrary gives back.
Module* LoadLibrary(const char* name);
// nullptr when the module has no such entry point.
void* GetProcAddress(Module* module, const char* name);
bool FreeLibrary(Module* module);

}  // namespace host
