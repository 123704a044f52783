// Opening and saving .net files: file errors, atomic saving and damaged contents.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "model/archive.h"
#include "model/document.h"
#include "model/model_test_support.h"

namespace varlo {
namespace {

namespace fs = std::filesystem;
using testing::AddUdp;
using testing::Bytes;
using testing::ByteSpeller;
using testing::Connect;
using testing::LoadNetwork;

class NetworkFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPersistentClasses();
    std::string pattern = (fs::temp_directory_path() / "varlo-net-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }
  size_t FilesInDir() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  // Reads bytes as a network and returns the archive cause; the document must be left empty.
  CArchiveException::Cause LoadCause(const Bytes& bytes) {
    const std::string path = PathOf("bad.net");
    WriteFileAtomically(path, bytes);
    CVarloDoc doc;
    try {
      doc.OnOpenDocument(path);
    } catch (const CArchiveException& e) {
      EXPECT_EQ(e.GetFileName(), path);
      EXPECT_EQ(doc.GetNodeCount(), 0u);
      EXPECT_TRUE(doc.GetLinks().empty());
      EXPECT_TRUE(doc.GetClasses().empty());
      EXPECT_EQ(doc.GetPathName(), "");
      return e.GetCause();
    }
    ADD_FAILURE() << "opened";
    return CArchiveException::kGeneric;
  }

  fs::path dir_;
};

// Nodes 1 and 2, then the rest of a network file after the node table.
Bytes TwoNodesThen(const Bytes& rest) {
  Bytes b = ByteSpeller()
                .U32(3)
                .U16(2)
                .U16(1)
                .NewClass("CGraphicNode")
                .NodeFields(1, "A", 0, 0)
                .U16(2)
                .U16(0x8001)
                .NodeFields(2, "B", 0, 0)
                .bytes;
  b.insert(b.end(), rest.begin(), rest.end());
  return b;
}

TEST_F(NetworkFileTest, SaveAndOpenRoundTrip) {
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(1, 2);
  CGraphicNode* b = doc.CreateNode(3, 4);
  Connect(doc, a, b);
  AddUdp(doc, a, b);
  const std::string path = PathOf("ring.net");
  doc.OnSaveDocument(path);
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.GetPathName(), path);
  EXPECT_EQ(doc.GetTitle(), "ring.net");
  EXPECT_EQ(doc.GetFolder(), dir_.string());
  EXPECT_EQ(ReadWholeFile(path), doc.SaveToBytes(path));
  EXPECT_EQ(FilesInDir(), 1u);

  CVarloDoc opened;
  opened.OnOpenDocument(path);
  EXPECT_EQ(opened.GetNodeCount(), 2u);
  EXPECT_EQ(opened.GetLinks().size(), 1u);
  EXPECT_EQ(opened.GetClasses().size(), 1u);
  EXPECT_FALSE(opened.IsModified());
}

TEST_F(NetworkFileTest, MissingFileIsAFileError) {
  CVarloDoc doc;
  const std::string path = PathOf("none.net");
  try {
    doc.OnOpenDocument(path);
    FAIL();
  } catch (const CFileException& e) {
    EXPECT_EQ(e.GetCause(), CFileException::kFileNotFound);
    EXPECT_EQ(e.Message(), path + " was not found.");
  }
  try {
    doc.OnOpenDocument(dir_.string());
    FAIL();
  } catch (const CFileException& e) {
    EXPECT_EQ(e.GetCause(), CFileException::kAccessDenied);
  }
}

TEST_F(NetworkFileTest, FailedSaveKeepsTheOldFile) {
  CVarloDoc small;
  const std::string path = PathOf("keep.net");
  small.OnSaveDocument(path);
  const Bytes before = ReadWholeFile(path);

  CVarloDoc big;
  for (int i = 0; i < 50; ++i) big.CreateNode(i, i);
  // A file-size limit makes the write fail part-way, as a full disk would.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit tight = old;
  tight.rlim_cur = 64;
  auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
  bool thrown = false;
  try {
    big.OnSaveDocument(path);
  } catch (const CFileException& e) {
    thrown = true;
    EXPECT_EQ(e.GetCause(), CFileException::kDiskFull);
    EXPECT_EQ(e.Message(), "Disk full while accessing " + path + ".");
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(thrown);
  EXPECT_EQ(ReadWholeFile(path), before);
  EXPECT_EQ(FilesInDir(), 1u);  // no temporary file left behind
  EXPECT_TRUE(big.IsModified());
  EXPECT_EQ(big.GetPathName(), "");

  // A target that cannot be replaced (a folder) fails the same way and leaves nothing behind.
  fs::create_directory(PathOf("folder.net"));
  fs::create_directory(PathOf("folder.net/inside"));
  EXPECT_THROW(big.OnSaveDocument(PathOf("folder.net")), CFileException);
  EXPECT_TRUE(fs::is_directory(PathOf("folder.net")));
  EXPECT_EQ(FilesInDir(), 2u);
}

TEST_F(NetworkFileTest, SavingKeepsTheFilesPermissions) {
  const std::string path = PathOf("mode.net");
  CVarloDoc doc;
  doc.OnSaveDocument(path);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  doc.CreateNode(0, 0);
  doc.OnSaveDocument(path);
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(NetworkFileTest, EveryTruncationIsAnArchiveError) {
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(0, 0);
  CGraphicNode* b = doc.CreateNode(0, 0);
  Connect(doc, a, b);
  AddUdp(doc, a, b);
  const Bytes whole = doc.SaveToBytes("x");
  for (size_t n = 0; n < whole.size(); ++n) {
    CVarloDoc loaded;
    try {
      LoadNetwork(loaded, Bytes(whole.begin(), whole.begin() + static_cast<long>(n)));
      ADD_FAILURE() << "prefix " << n << " read";
    } catch (const CArchiveException& e) {
      EXPECT_TRUE(e.GetCause() == CArchiveException::kEndOfFile ||
                  e.GetCause() == CArchiveException::kBadIndex)
          << n;
    }
    EXPECT_EQ(loaded.GetNodeCount(), 0u);
  }
}

TEST_F(NetworkFileTest, LinksAndClassesMustNameNodesOfTheTable) {
  const Bytes templateQueue = ByteSpeller().Queue(1000, 0, 1, 5000).bytes;
  auto withLinks = [&](const Bytes& links, const Bytes& classes) {
    Bytes rest = links;
    rest.insert(rest.end(), classes.begin(), classes.end());
    rest.insert(rest.end(), templateQueue.begin(), templateQueue.end());
    return TwoNodesThen(rest);
  };
  const Bytes noClasses = ByteSpeller().U16(0).bytes;
  // Sound: the link 1-2.
  CVarloDoc doc;
  LoadNetwork(doc,
              withLinks(ByteSpeller().U16(1).NewClass("CGraphicLink").LinkFields(1, 2).bytes, noClasses));
  EXPECT_EQ(doc.GetLinks().size(), 1u);

  EXPECT_EQ(
      LoadCause(withLinks(ByteSpeller().U16(1).NewClass("CGraphicLink").LinkFields(1, 9).bytes, noClasses)),
      CArchiveException::kBadIndex);
  EXPECT_EQ(LoadCause(withLinks(
                ByteSpeller().U16(0).bytes,
                ByteSpeller().U16(1).NewClass("CConstPoissonClass").UdpFields(9, 1, 0, 1, 5).bytes)),
            CArchiveException::kBadIndex);
  EXPECT_EQ(LoadCause(withLinks(
                ByteSpeller().U16(0).bytes,
                ByteSpeller().U16(1).NewClass("CConstPoissonClass").UdpFields(1, 9, 0, 1, 5).bytes)),
            CArchiveException::kBadIndex);
  // Two links between the same pair, either way round.
  EXPECT_EQ(
      LoadCause(withLinks(
          ByteSpeller().U16(2).NewClass("CGraphicLink").LinkFields(1, 2).U16(0x8003).LinkFields(2, 1).bytes,
          noClasses)),
      CArchiveException::kBadIndex);
  // No object where a link belongs.
  EXPECT_EQ(LoadCause(withLinks(ByteSpeller().U16(1).U16(0).bytes, noClasses)), CArchiveException::kBadIndex);
}

TEST_F(NetworkFileTest, NodeKeysMustBeTheNodesOwnNumbersOnce) {
  const Bytes empty = ByteSpeller().U16(0).U16(0).Queue(1000, 0, 1, 5000).bytes;
  auto nodes = [&](std::uint16_t key1, std::uint16_t number1, std::uint16_t key2, std::uint16_t number2) {
    Bytes b = ByteSpeller()
                  .U32(3)
                  .U16(2)
                  .U16(key1)
                  .NewClass("CGraphicNode")
                  .NodeFields(number1, "A", 0, 0)
                  .U16(key2)
                  .U16(0x8001)
                  .NodeFields(number2, "B", 0, 0)
                  .bytes;
    b.insert(b.end(), empty.begin(), empty.end());
    return b;
  };
  EXPECT_EQ(LoadCause(nodes(1, 1, 1, 1)), CArchiveException::kBadIndex);
  EXPECT_EQ(LoadCause(nodes(1, 1, 2, 3)), CArchiveException::kBadIndex);
  // A link object in the node table is an unexpected object.
  Bytes linkAsNode = ByteSpeller().U32(3).U16(1).U16(1).NewClass("CGraphicLink").LinkFields(1, 2).bytes;
  linkAsNode.insert(linkAsNode.end(), empty.begin(), empty.end());
  EXPECT_EQ(LoadCause(linkAsNode), CArchiveException::kBadClass);
  // Another schema, an unknown class.
  EXPECT_EQ(
      LoadCause(
          ByteSpeller().U32(3).U16(1).U16(1).NewClass("CGraphicNode", 2).NodeFields(1, "A", 0, 0).bytes),
      CArchiveException::kBadSchema);
  EXPECT_EQ(
      LoadCause(ByteSpeller().U32(3).U16(1).U16(1).NewClass("CGraphicNod").NodeFields(1, "A", 0, 0).bytes),
      CArchiveException::kBadClass);
  // A count far beyond the file.
  EXPECT_EQ(LoadCause(ByteSpeller().U32(3).U16(0xFFFF).U32(0xFFFFFFFF).bytes), CArchiveException::kBadIndex);
}

TEST_F(NetworkFileTest, OpeningIntoAUsedDocumentReplacesItsContents) {
  CVarloDoc source;
  source.CreateNode(0, 0);
  const std::string path = PathOf("one.net");
  source.OnSaveDocument(path);
  CVarloDoc doc;
  CGraphicNode* a = doc.CreateNode(0, 0);
  CGraphicNode* b = doc.CreateNode(0, 0);
  Connect(doc, a, b);
  AddUdp(doc, a, b);
  doc.OnOpenDocument(path);
  EXPECT_EQ(doc.GetNodeCount(), 1u);
  EXPECT_TRUE(doc.GetLinks().empty());
  EXPECT_TRUE(doc.GetClasses().empty());
}

}  // namespace
}  // namespace varlo
