// Feeds arbitrary bytes to the JSON network import, as varlo-cli import reads them: strict parsing
// (one value, no repeated key), then the document built from it. Every outcome is the document or
// a refusal naming the element; a document that is built is saved, read back and exported, which
// must succeed, since import only accepts what the network file can hold.
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "cli/command.h"
#include <memory>
#include "cli/json_network.h"
#include "model/archive.h"
#include "model/document.h"
#include "model/persistent.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  static const bool registered = (varlo::RegisterPersistentClasses(), true);
  (void)registered;
  const std::string text(reinterpret_cast<const char*>(data), size);
  nlohmann::json json;
  try {
    json = varlo::cli::ParseJsonStrictly(text);
  } catch (const nlohmann::json::exception&) {
    return 0;
  } catch (const varlo::cli::CommandFailure&) {
    return 0;
  }
  std::unique_ptr<varlo::CVarloDoc> doc;
  try {
    doc = varlo::cli::DocumentFromJson(json, "/nonexistent-fuzz-folder");
  } catch (const varlo::cli::CommandFailure&) {
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
  (void)varlo::cli::DocumentToJson(read).dump();
  return 0;
}
