// The plug-in's version, for a host to read from the object it loaded:
//   auto* v = reinterpret_cast<const char* (*)()>(dlsym(handle, "ternPluginVersion"));
// The plug-in's file name carries no version (a host loads it by path), and its SONAME would
// only say what a program that links it was linked against.
#ifndef TERN_VERSION
#error "TERN_VERSION: the project's version, defined by the build"
#endif

extern "C" const char* ternPluginVersion() noexcept { return TERN_VERSION; }
