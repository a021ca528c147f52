#pragma once

#include <string>

// Writes a real PE executable with the given file version ("3.0.0.12") to `path`, made by the
// project's test-side builder scripts/make-pe-exe. Returns false when the builder failed.
bool MakePeExe(const std::string& path, const std::string& version);
