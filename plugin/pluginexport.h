// Marks what the plug-in library exports; everything else stays hidden.
#pragma once

#if defined(_WIN32)
#define PPI_EXPORT __declspec(dllexport)
#else
#define PPI_EXPORT __attribute__((visibility("default")))
#endif
