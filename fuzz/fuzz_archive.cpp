// Feeds arbitrary bytes to the network-file reader and the traffic-file reader. Whatever the
// bytes, reading must end in the document or in an archive or file error: never a crash, a hang
// or an unbounded allocation. A network that reads is also saved, re-read and taken apart, so
// that the links and classes it set up are checked for dangling references.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "model/archive.h"
#include "model/document.h"
#include "model/persistent.h"

namespace {

using varlo::CArchive;
using varlo::CArchiveException;
using varlo::CFileException;
using varlo::CVarloDoc;

void FuzzNetwork(const std::vector<std::uint8_t>& bytes) {
  CVarloDoc doc;
  try {
    CArchive ar(bytes, "fuzz.net");
    doc.Serialize(ar);
  } catch (const CArchiveException&) {
    if (doc.GetNodeCount() != 0 || !doc.GetLinks().empty() || !doc.GetClasses().empty()) __builtin_trap();
    return;
  } catch (const CFileException&) {
    return;  // a trace class could not build its rate file
  }
  // Two readings give the original walk order back, hence the original bytes.
  const std::vector<std::uint8_t> saved = doc.SaveToBytes("fuzz.net");
  try {
    CVarloDoc once, twice;
    CArchive first(saved, "fuzz.net");
    once.Serialize(first);
    CArchive second(once.SaveToBytes("fuzz.net"), "fuzz.net");
    twice.Serialize(second);
    if (twice.SaveToBytes("fuzz.net") != saved) __builtin_trap();
  } catch (const CFileException&) {
  }
  // Route computation is cubic in the node count; large inputs would only measure that.
  if (doc.GetNodeCount() <= 64) doc.ComputeRoutes();
  if (!doc.GetLinks().empty()) doc.DeleteLink(doc.GetLinks().front().get());
  for (varlo::CGraphicNode* node : doc.NodesInTableOrder()) doc.DeleteNode(node);
  if (!doc.GetLinks().empty() || !doc.GetClasses().empty()) __builtin_trap();
}

void FuzzTraffic(const std::vector<std::uint8_t>& bytes) {
  CVarloDoc doc;
  for (int i = 0; i < 4; ++i) doc.CreateNode(0, 0);
  try {
    CArchive ar(bytes, "fuzz.cls");
    doc.LoadTraffic(ar);
  } catch (const CArchiveException&) {
    if (!doc.GetClasses().empty()) __builtin_trap();
    return;
  } catch (const CFileException&) {
    return;
  }
  doc.SaveTrafficToBytes("fuzz.cls");
  doc.DeleteNode(doc.FindNode(1));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  varlo::RegisterPersistentClasses();
  // Trace classes build rate files beside the trace path they read; relative paths land here.
  char folder[] = "/tmp/varlo-fuzz-XXXXXX";
  if (::mkdtemp(folder) == nullptr || ::chdir(folder) != 0) {
    std::perror("varlo fuzz: temporary folder");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  FuzzNetwork(bytes);
  FuzzTraffic(bytes);
  return 0;
}
