#pragma once

#include <windows.h>

// GetProcAddress hands back a generic function pointer; going through
// void (*)() first is the cast GCC accepts without a function-type warning.
template <typename Function> Function LookUpProc(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
