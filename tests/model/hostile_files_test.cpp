// Network and traffic files from elsewhere: the damaged ones of tests/corpus/hostile are refused
// as a whole with "<file> has a bad format.", and saving follows links and leaves special files
// what they are.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "model/archive.h"
#include "model/document.h"
#include "model/persistent.h"
#include "platform/core/file_io.h"

namespace varlo {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Corpus(const std::string& extension) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(VARLO_SOURCE_DIR) / "tests/corpus/hostile")) {
    if (entry.path().extension() == extension) files.push_back(entry.path());
  }
  return files;
}

TEST(HostileFiles, DamagedNetworksAreRefusedAsAWhole) {
  RegisterPersistentClasses();
  const auto files = Corpus(".net");
  ASSERT_GE(files.size(), 10u);
  for (const fs::path& file : files) {
    CVarloDoc doc;
    try {
      doc.OnOpenDocument(file.string());
      ADD_FAILURE() << file << " was accepted";
    } catch (const CArchiveException& e) {
      EXPECT_EQ(e.Message(), file.string() + " has a bad format.") << file;
    }
    EXPECT_EQ(doc.GetNodeCount(), 0u) << file;
    EXPECT_TRUE(doc.GetLinks().empty()) << file;
  }
  // The undamaged original, and what the program ships, still open.
  CVarloDoc example;
  EXPECT_NO_THROW(example.OnOpenDocument(std::string(VARLO_SOURCE_DIR) + "/examples/dumbbell.net"));
  EXPECT_EQ(example.GetClasses().size(), 40u);
}

TEST(HostileFiles, DamagedTrafficFilesAddNothing) {
  RegisterPersistentClasses();
  const auto files = Corpus(".cls");
  ASSERT_GE(files.size(), 3u);
  for (const fs::path& file : files) {
    CVarloDoc doc;
    doc.CreateNode(0, 0);
    doc.CreateNode(10, 0);
    try {
      doc.LoadTraffic(file.string());
      ADD_FAILURE() << file << " was accepted";
    } catch (const CArchiveException& e) {
      EXPECT_EQ(e.Message(), file.string() + " has a bad format.") << file;
    }
    EXPECT_TRUE(doc.GetClasses().empty()) << file;
  }
}

TEST(HostileFiles, InputsThatNeverEndAreCutOffBeforeMemoryRunsOut) {
  CVarloDoc doc;
  EXPECT_THROW(doc.OnOpenDocument("/dev/zero"), CArchiveException);
}

struct Folder {
  fs::path path = fs::temp_directory_path() / ("varlo-hostile-" + std::to_string(::getpid()));
  Folder() { fs::create_directories(path); }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

TEST(HostileFiles, SavingFollowsLinksAndWritesSpecialFilesInPlace) {
  RegisterPersistentClasses();
  Folder folder;
  CVarloDoc doc;
  doc.CreateNode(0, 0);
  const std::vector<std::uint8_t> expected = doc.SaveToBytes("x");

  // A link keeps being a link; its target gets the network (also through a relative chain).
  fs::create_directories(folder / "store");
  WriteFileAtomically(folder / "store/real.net", {1, 2, 3});
  fs::create_symlink("store/real.net", folder / "link.net");
  fs::create_symlink("link.net", folder / "link2.net");
  doc.OnSaveDocument(folder / "link2.net");
  EXPECT_TRUE(fs::is_symlink(folder / "link2.net"));
  EXPECT_TRUE(fs::is_symlink(folder / "link.net"));
  EXPECT_EQ(ReadWholeFile(folder / "store/real.net"), expected);
  // A link to a file not there yet creates the target.
  fs::create_symlink("store/new.net", folder / "dangling.net");
  doc.OnSaveDocument(folder / "dangling.net");
  EXPECT_TRUE(fs::is_symlink(folder / "dangling.net"));
  EXPECT_EQ(ReadWholeFile(folder / "store/new.net"), expected);

  // A pipe is written, not replaced by a file.
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  std::vector<std::uint8_t> received;
  std::thread reader([&] { received = ReadWholeFile(folder / "pipe"); });
  doc.OnSaveDocument(folder / "pipe");
  reader.join();
  EXPECT_TRUE(fs::is_fifo(folder / "pipe"));
  EXPECT_EQ(received, expected);
}

}  // namespace
}  // namespace varlo
