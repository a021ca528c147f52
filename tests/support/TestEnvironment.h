#pragma once

#include <cstdlib>
#include <string>

// Sets and clears environment variables in tests on both platforms (the C runtime on Windows
// has no setenv; what _putenv_s sets is what getenv reads).
inline void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void UnsetEnv(const std::string& name) {
#ifdef _WIN32
    _putenv_s(name.c_str(), "");  // an empty value removes the variable
#else
    unsetenv(name.c_str());
#endif
}
