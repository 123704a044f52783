// The sweep file (JSON) of "varlo-cli sweep", and opening a network given as .net or as JSON.
#pragma once

#include <memory>
#include <string>

#include "model/document.h"
#include "simulators/sweep.h"

namespace varlo::cli {

// A .net file, or the JSON form when the name ends in ".json". Throws CommandFailure, CFileException
// or CArchiveException with a message naming the file.
std::unique_ptr<CVarloDoc> OpenAnyNetwork(const std::string& path);

// Reads and checks the sweep file's form; the base network's path is taken relative to the sweep
// file's folder. Throws CommandFailure naming the file and the element.
SweepDefinition ReadSweepFile(const std::string& path);

}  // namespace varlo::cli
