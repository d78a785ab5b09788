// Marks what the plug-in library exports; everything else stays hidden.
//
// On Windows the mark means dllexport only while the library itself is built
// (the build defines PPI_BUILDING_LIBRARY for its objects). A host that
// includes the plug-in's headers gets nothing: it finds the entry points with
// GetProcAddress and must not import, or export, any of them by accident.
#pragma once

#if defined(_WIN32)
#if defined(PPI_BUILDING_LIBRARY)
// mingw-w64's g++ also exports the type information of every class whose type
// information a file emits after it has seen a dllexport class, unless
// std::type_info was declared before that class. Declaring it here, ahead of
// the exported classes, keeps the DLL's export table to what is marked.
#include <typeinfo>
#define PPI_EXPORT __declspec(dllexport)
#else
#define PPI_EXPORT
#endif
#else
#define PPI_EXPORT __attribute__((visibility("default")))
#endif
