#pragma once
// Files of the source and build trees as the tests reach them: the source
// tree through $QD_SOURCE_DIR and the build tree through $QD_BUILD_DIR,
// both set by CTest for every test.

#include <string>

// `relative` below the source tree ("." when QD_SOURCE_DIR is unset).
std::string SourcePath(const std::string& relative);

// `relative` below the build tree ("." when QD_BUILD_DIR is unset), e.g.
// "bin/qdAnalyze" or "sim-bin/spcmd".
std::string BuildPath(const std::string& relative);

// The whole content of `path` into *text; false (and *text untouched) when
// it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* text);

// The whole content of `path`; "" when it cannot be read.
std::string FileText(const std::string& path);
