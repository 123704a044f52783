// Whole-file reads and atomic writes of the program's binary files (.net, .cls), on the
// operating system's file calls so that a save is flushed before it replaces the old file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varlo {

// Networks, traffic files and JSON networks are far smaller than this; a longer input (a device
// such as /dev/zero, a pipe that never ends) is refused before it can exhaust memory.
inline constexpr std::uint64_t kMaxReadFileSize = std::uint64_t{256} << 20;  // bytes

// Reads the whole file. Throws CFileException (model/archive.h) with the errno-mapped cause, and
// CArchiveException "bad format" for a file longer than kMaxReadFileSize.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
// Writes a temporary file beside path, flushes it and renames it over path; on failure the old
// file is left as it was and CFileException is thrown. A symbolic link is followed and its target
// replaced; a pipe or device is written directly (it has no contents to keep).
void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace varlo
