#include <windows.h>

#include "resources/ResourceTable.h"

namespace {

// The binary this code was linked into (the module, or a test program), whose resources we own.
HMODULE ownModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ownModule), &module);
    return module;
}

}  // namespace

bool findResource(int number, const char* type, const unsigned char** data, std::size_t* size) {
    if (number <= 0 || number > 0xFFFF || type == nullptr) {
        return false;
    }
    HMODULE module = ownModule();
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(number), type);
    if (found == nullptr) {
        return false;
    }
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return false;
    }
    // Resources stay mapped as long as the binary is loaded; nothing to free.
    *data = static_cast<const unsigned char*>(bytes);
    *size = SizeofResource(module, found);
    return true;
}
