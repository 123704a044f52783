#include "cli/raster_picture.h"

#include <filesystem>
#include <vector>

#if defined(VARLO_PICTURES_MODULE) && !defined(_WIN32)
#include <dlfcn.h>
#define VARLO_LOADS_PICTURES 1
#endif

namespace varlo::cli {

namespace {

struct LoadedWriter {
  RasterPictureWriter write = nullptr;
  std::string problem;
};

#ifdef VARLO_LOADS_PICTURES
// Beside varlo-cli (a build tree), then where an installation puts it relative to varlo-cli.
std::vector<std::filesystem::path> ModuleCandidates() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::filesystem::path folder = error ? std::filesystem::path(".") : self.parent_path();
  return {folder / VARLO_PICTURES_MODULE, (folder / VARLO_PICTURES_MODULE_INSTALLED).lexically_normal()};
}
#endif

LoadedWriter Load() {
#ifdef VARLO_LOADS_PICTURES
  std::string problems;
  for (const std::filesystem::path& candidate : ModuleCandidates()) {
    std::error_code error;
    if (!std::filesystem::exists(candidate, error)) continue;
    void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = ::dlerror();
      problems += "\n  " + (reason != nullptr ? std::string(reason) : candidate.string());
      continue;
    }
    if (void* entry = ::dlsym(handle, kRasterPictureEntry)) return {reinterpret_cast<RasterPictureWriter>(entry), ""};
    problems += "\n  " + candidate.string() + " has no " + kRasterPictureEntry + ".";
  }
  if (problems.empty()) {
    std::string places;
    for (const std::filesystem::path& candidate : ModuleCandidates()) places += "\n  " + candidate.string();
    return {nullptr, "PNG and PDF pictures need " + std::string(VARLO_PICTURES_MODULE) +
                         ", which is in none of these places:" + places};
  }
  return {nullptr, "PNG and PDF pictures need " + std::string(VARLO_PICTURES_MODULE) +
                       ", which cannot be loaded:" + problems};
#else
  return {nullptr, "This varlo-cli was built without Qt: it writes .svg pictures only."};
#endif
}

const LoadedWriter& Writer() {
  static const LoadedWriter loaded = Load();
  return loaded;
}

}  // namespace

std::string RasterPicturesUnavailable() {
  return Writer().problem;
}

bool WriteRasterPicture(const std::string& path, int width, int height, const std::function<void(CDrawContext&)>& draw) {
  const RasterPictureWriter write = Writer().write;
  return write != nullptr && write(path.c_str(), width, height, draw);
}

}  // namespace varlo::cli
