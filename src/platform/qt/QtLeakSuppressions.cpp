// Leaks that the leak checker of a sanitizer build finds in the desktop libraries under Qt:
// fontconfig's and D-Bus's process-wide caches are allocated once and never freed by design.
// Compiled into every program that links the Qt window (see CMakeLists.txt), so the program
// and its tests end with their own exit status rather than the checker's.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}
