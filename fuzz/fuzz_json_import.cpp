// Feeds arbitrary bytes to the JSON network import, as varlo-cli import reads them: strict parsing
// (one value, no repeated key) and the document built from it. Every outcome is the document or a
// refusal naming the element; a document that is built is saved, read back and exported, which
// must succeed, since import only accepts what the network file can hold.
#include <cstdint>
#include <exception>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/archive.h"
#include "model/document.h"
#include "model/json_network.h"
#include "model/persistent.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  static const bool registered = (varlo::RegisterPersistentClasses(), true);
  (void)registered;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::unique_ptr<varlo::CVarloDoc> doc;
  try {
    doc = varlo::DocumentFromJson(in, "fuzz.json", "/nonexistent-fuzz-folder");
  } catch (const varlo::CJsonNetworkError&) {
    return 0;
  }
  // What import accepted, the network file must hold and give back.
  const std::vector<std::uint8_t> bytes = doc->SaveToBytes("fuzz.net");
  varlo::CVarloDoc read;
  try {
    varlo::CArchive ar(bytes, "fuzz.net");
    read.Serialize(ar);
  } catch (const std::exception&) {
    __builtin_trap();
  }
  if (read.SaveToBytes("fuzz.net") != bytes) __builtin_trap();
  // The export must be JSON that imports again.
  std::istringstream again(varlo::DocumentToJson(read));
  try {
    (void)varlo::DocumentFromJson(again, "again.json", "/nonexistent-fuzz-folder");
  } catch (const varlo::CJsonNetworkError&) {
    __builtin_trap();
  }
  return 0;
}
