// Whether ImageMagick on this machine can really turn a classic metafile into a PNG. Having
// `convert` is not enough: without its WMF delegate (libmagickcore-6.q16-6-extra) or the fonts the
// delegate falls back on (gsfonts), it refuses every metafile. The probe hands it a tiny metafile
// written here byte by byte (not by our writer, so a fault in the writer cannot pass for a missing
// tool): a rectangle and a two-letter TextOut in a 100 x 60 window.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace varlo::test_tools {

// Empty when convert renders a metafile; otherwise why the tests that need it are skipped.
inline std::string WmfReaderMissing() {
  namespace fs = std::filesystem;
  if (std::system("command -v convert > /dev/null 2>&1") != 0) return "ImageMagick (convert) is not installed";
  const std::vector<std::uint16_t> words = {
      1, 9, 0x0300, 31, 0, 0, 7, 0, 0,                 // header: 31 words in all, largest record 7
      5, 0, 0x020C, 60, 100,                           // SetWindowExt 100 x 60
      7, 0, 0x041B, 50, 90, 10, 10,                    // Rectangle (10,10)-(90,50)
      7, 0, 0x0521, 2, 'A' | ('b' << 8), 30, 20,       // TextOut "Ab" at (20,30)
      3, 0, 0};                                        // end of file
  const fs::path folder = fs::temp_directory_path() / ("varlo_wmf_probe_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const fs::path wmf = folder / "probe.wmf";
  const fs::path png = folder / "probe.png";
  {
    std::ofstream out(wmf, std::ios::binary);
    for (std::uint16_t w : words) {
      const char bytes[2] = {static_cast<char>(w & 0xFF), static_cast<char>(w >> 8)};
      out.write(bytes, 2);
    }
  }
  const std::string command = "convert '" + wmf.string() + "' '" + png.string() + "' > /dev/null 2>&1";
  const bool rendered = std::system(command.c_str()) == 0 && fs::exists(png) && fs::file_size(png) > 0;
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  if (!rendered)
    return "ImageMagick cannot render metafiles here (install libmagickcore-6.q16-6-extra and gsfonts)";
  return {};
}

}  // namespace varlo::test_tools
