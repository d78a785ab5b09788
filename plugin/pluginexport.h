// Marks what the plug-in library exports; everything else stays hidden.
#pragma once

#if defined(_WIN32)
// mingw-w64's g++ also exports the type information of every class whose type
// information a file emits after it has seen a dllexport class, unless
// std::type_info was declared before that class. Declaring it here, ahead of
// the exported classes, keeps the DLL's export table to what is marked.
#include <typeinfo>
#define PPI_EXPORT __declspec(dllexport)
#else
#define PPI_EXPORT __attribute__((visibility("default")))
#endif
