// Whole-file reads and atomic writes of the program's binary files (.net, .cls), on the
// operating system's file calls so that a save is flushed before it replaces the old file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varlo {

// Reads the whole file. Throws CFileException (model/archive.h) with the errno-mapped cause.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
// Writes a temporary file beside path, flushes it and renames it over path; on failure the old
// file is left as it was and CFileException is thrown.
void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace varlo
