// Replays the fuzzer's seed corpus (real files from the archive writer) through the readers. Each
// must read, or fail with an archive or file error and leave nothing behind.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "model/archive.h"
#include "model/document.h"
#include "model/model_test_support.h"

namespace varlo {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

std::vector<fs::path> FilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class SavedInputsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPersistentClasses();
    // Trace classes build rate files beside relative trace paths: keep them out of the tree.
    std::string pattern = (fs::temp_directory_path() / "varlo-inputs-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    previous_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }

  // Reads bytes as a network; true when it opened. A network that opens survives being saved,
  // routed and taken apart.
  static bool ReadNetwork(const Bytes& bytes) {
    CVarloDoc doc;
    try {
      CArchive ar(bytes, "in.net");
      doc.Serialize(ar);
    } catch (const CArchiveException&) {
      EXPECT_EQ(doc.GetNodeCount(), 0u);
      EXPECT_TRUE(doc.GetLinks().empty());
      EXPECT_TRUE(doc.GetClasses().empty());
      return false;
    } catch (const CFileException&) {
      EXPECT_EQ(doc.GetNodeCount(), 0u);
      return false;
    }
    doc.SaveToBytes("in.net");
    doc.ComputeRoutes();
    for (CGraphicNode* node : doc.NodesInTableOrder()) doc.DeleteNode(node);
    EXPECT_TRUE(doc.GetLinks().empty());
    EXPECT_TRUE(doc.GetClasses().empty());
    return true;
  }

  static bool ReadTraffic(const Bytes& bytes) {
    CVarloDoc doc;
    for (int i = 0; i < 4; ++i) doc.CreateNode(0, 0);
    try {
      CArchive ar(bytes, "in.cls");
      doc.LoadTraffic(ar);
    } catch (const CArchiveException&) {
      EXPECT_TRUE(doc.GetClasses().empty());
      return false;
    } catch (const CFileException&) {
      return false;
    }
    doc.DeleteNode(doc.FindNode(1));
    return true;
  }

  fs::path dir_, previous_;
};

TEST_F(SavedInputsTest, SeedFilesReadAsTheirKind) {
  const auto files = FilesIn(fs::path(VARLO_SOURCE_DIR) / "fuzz" / "corpus");
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) {
    const Bytes bytes = ReadWholeFile(file.string());
    // Reading derives nothing from traces, so the seed whose trace class names a trace that does
    // not exist reads too.
    const bool expectOpen = true;
    if (file.extension() == ".net") {
      EXPECT_EQ(ReadNetwork(bytes), expectOpen) << file;
    } else {
      EXPECT_EQ(ReadTraffic(bytes), expectOpen) << file;
    }
  }
}

}  // namespace
}  // namespace varlo
