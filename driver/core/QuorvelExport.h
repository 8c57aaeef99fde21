// Symbol export of QuorvelDll: only CQuorvel and CQuorvelSettings carry it; everything else in
// the library stays hidden (the library is built with hidden default visibility).
#pragma once

#if defined(_WIN32)
#if defined(QUORVELDLL_BUILD)
#define QUORVELDLL_API __declspec(dllexport)
#else
#define QUORVELDLL_API __declspec(dllimport)
#endif
#else
#define QUORVELDLL_API __attribute__((visibility("default")))
#endif
