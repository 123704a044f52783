// Feeds arbitrary bytes to the text readers of files that travel with networks: the trace reader
// that derives a rate file, the rate-file check and lookup of a run, and the dump reader used by
// dump2csv, the graphs and the animation. The first byte picks the reader (and a slot size); the
// rest is the file. Each must end in its result or a refusal: never a crash, a hang, an unbounded
// allocation or more than the bounded number of rows.
#include <cmath>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "engine/dump_file.h"
#include "model/td_poisson_class.h"
#include "model/trace_class.h"
#include "model/archive.h"

namespace {

// The fuzzed file lives in memory-backed /tmp under a name of this process.
std::string ScratchName(const char* suffix) {
  return "/tmp/varlo-fuzz-" + std::to_string(::getpid()) + suffix;
}

void WriteFile(const std::string& path, const std::uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) __builtin_trap();
  if (size != 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
}

void FuzzTrace(const std::string& path, std::uint8_t selector) {
  // Slots from 1e-9 s to 1e3 s, in steps of a factor of ten, and one that does not advance time.
  static const double kSlots[] = {1e-9, 1e-6, 1e-3, 0.1, 1.0, 1e3, 0.0, 1e-300};
  const double slot = kSlots[selector % 8];
  const std::string rates = ScratchName(".vlr");
  try {
    varlo::CTraceClass::BuildRateFile(path, slot, rates);
  } catch (const varlo::CFileException&) {
  } catch (const varlo::CTraceRateException&) {
  }
  std::remove(rates.c_str());
  std::remove((rates + ".tmp").c_str());
  try {
    varlo::CTraceClass::BuildNSTrace(path, ScratchName(".nstrace"));
  } catch (const varlo::CFileException&) {
  }
  std::remove(ScratchName(".nstrace").c_str());
}

void FuzzRateFile(const std::string& path) {
  varlo::CTdPoissonClass c(nullptr, nullptr, 0.0, 0.0, path);
  if (c.CheckRateFile(nullptr)) return;  // refused: the run never reads it
  for (double t = 0.0; t < 50.0; t += 0.37) {
    const double rate = c.GetRate(t);
    if (!(rate >= 0.0) || !std::isfinite(rate)) __builtin_trap();  // the check let a bad rate through
  }
}

void FuzzDump(const std::string& path) {
  try {
    varlo::CDumpReader reader(path);
    // The readers ask for rows only when the header matches a network; a network has at most a
    // few hundred thousand values a row.
    if (reader.ValuesPerRow() > 100000) return;
    std::vector<double> row;
    std::vector<std::string> words;
    // Rows are read alternately as numbers and as words; a damaged row must leave the container
    // it was read into empty.
    for (int rows = 0; rows < 100000; ++rows) {
      const bool asWords = (rows & 1) != 0;
      if (asWords ? reader.ReadRowWords(words) : reader.ReadRow(row)) continue;
      if (!reader.Damage().empty() && !(asWords ? words.empty() : row.empty())) __builtin_trap();
      break;
    }
  } catch (const varlo::CFileException&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string path = ScratchName(".in");
  WriteFile(path, data + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      FuzzTrace(path, static_cast<std::uint8_t>(data[0] / 3));
      break;
    case 1:
      FuzzRateFile(path);
      break;
    default:
      FuzzDump(path);
      break;
  }
  std::remove(path.c_str());
  return 0;
}
