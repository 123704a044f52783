#include "cli/raster_picture.h"

namespace varlo::cli {

bool RasterPicturesAvailable() {
  return false;
}

bool WriteRasterPicture(const std::string&, int, int, const std::function<void(CDrawContext&)>&) {
  return false;
}

}  // namespace varlo::cli
