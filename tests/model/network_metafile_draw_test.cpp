// A small network painted into a classic metafile as the canvas paints it, then opened by a real
// metafile reader (ImageMagick, LibreOffice) where one is installed. The pictures are left in the
// temporary folder for a look.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/mm1k_queue.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"
#include "platform/core/wmf_writer.h"
#include "wmf_reader_probe.h"

namespace varlo {
namespace {

namespace fs = std::filesystem;

bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " > /dev/null 2>&1").c_str()) == 0;
}

std::string CommandOutput(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
  if (!pipe) return out;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe.get()) != nullptr) out += buffer;
  return out;
}

// A round icon: a blue disc on transparent corners.
bool DiscIcon(int, IconImage& image) {
  image.width = image.height = 32;
  image.argb.assign(32 * 32, 0);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      if ((x - 16) * (x - 16) + (y - 16) * (y - 16) < 14 * 14)
        image.argb[static_cast<size_t>(y * 32 + x)] = 0xFF2060C0;
  return true;
}

class NetworkMetafileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("varlo_wmf_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    nodes.push_back(std::make_unique<CGraphicNode>(1, "Source", 80, 120));
    nodes.push_back(std::make_unique<CGraphicNode>(2, "Router", 400, 140));
    nodes.push_back(std::make_unique<CGraphicNode>(3, "Sink", 700, 360));
    nodes[1]->shape = kShapeDiamond;
    nodes[1]->size = 14;
    nodes[1]->highlighted = true;
    nodes[2]->shape = kShapeCircle;
    nodes[2]->size = 12;
    for (size_t i = 0; i + 1 < nodes.size(); ++i) {
      CGraphicNode* a = nodes[i].get();
      CGraphicNode* b = nodes[i + 1].get();
      links.push_back(
          std::make_unique<CGraphicLink>(a, b, std::make_unique<C_MM1K_Queue>(a, b, 1000.0, 100.0, 0.0),
                                         std::make_unique<C_MM1K_Queue>(b, a, 1000.0, 100.0, 0.0)));
    }
    links[0]->GetForwardQueue()->N = 100.0;  // full
    links[0]->GetBackwardQueue()->N = 30.0;
    links[1]->GetForwardQueue()->N = 60.0;
    links[1]->highlighted = true;
    links[1]->thickness = 3;
  }

  // Paints as the canvas does at zoom 1.25 in an 800 x 500 client area, scrolled by (10, 0).
  fs::path WriteNetwork() {
    CWmfWriter writer(
        [](const Font& f, std::string_view t) {
          return Size{static_cast<std::int32_t>(t.size()) * f.height * 7 / 13, f.height * 16 / 13};
        },
        DiscIcon);
    const Font old = writer.SelectFont(writer.CreatePointFont(10, "Arial"));
    writer.SetMapMode(kMmAnisotropic);
    writer.SetWindowExt(1000, 625);
    writer.SetViewportExt(800, 500);
    writer.SetViewportOrg(-10, 0);
    for (const auto& link : links) link->Draw(writer);
    for (const auto& node : nodes) node->Draw(writer);
    writer.SelectFont(old);
    const fs::path path = folder / "network.wmf";
    EXPECT_TRUE(writer.WriteFile(path.string()));
    return path;
  }

  fs::path folder;
  std::vector<std::unique_ptr<CGraphicNode>> nodes;
  std::vector<std::unique_ptr<CGraphicLink>> links;
};

TEST_F(NetworkMetafileTest, ImageMagickRendersTheNetwork) {
  if (const std::string missing = test_tools::WmfReaderMissing(); !missing.empty()) GTEST_SKIP() << missing;
  if (!HaveTool("identify")) GTEST_SKIP() << "ImageMagick's identify is not installed";
  const fs::path wmf = WriteNetwork();
  const fs::path png = folder / "network_imagemagick.png";
  ASSERT_EQ(std::system(("convert '" + wmf.string() + "' '" + png.string() + "' 2>/dev/null").c_str()), 0);
  ASSERT_TRUE(fs::exists(png));
  // Something is drawn on the white background: the mean brightness is clearly below white.
  const double mean =
      std::atof(CommandOutput("identify -format '%[fx:mean]' '" + png.string() + "'").c_str());
  EXPECT_GT(mean, 0.5);
  EXPECT_LT(mean, 0.995);
}

TEST_F(NetworkMetafileTest, LibreOfficeConvertsTheNetwork) {
  if (!HaveTool("soffice")) GTEST_SKIP() << "LibreOffice is not installed";
  const fs::path wmf = WriteNetwork();
  const std::string profile = "file://" + (folder / "profile").string();
  const std::string command = "HOME='" + folder.string() +
                              "' timeout 180 soffice -env:UserInstallation=" + profile +
                              " --headless --convert-to png --outdir '" + folder.string() + "' '" +
                              wmf.string() + "' > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const fs::path png = folder / "network.png";
  ASSERT_TRUE(fs::exists(png));
  EXPECT_GT(fs::file_size(png), 1000u);
}

}  // namespace
}  // namespace varlo
