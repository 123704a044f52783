// The kinds table is what files, the JSON form, the canvas and the engine go by: an entry whose
// names, parameters or factories disagree with its class would write one kind and read another.
#include "model/traffic_class_kinds.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "model/node.h"
#include "model/persistent.h"

namespace varlo {
namespace {

TEST(TrafficClassKinds, EveryEntryMakesTheClassItNames) {
  RegisterPersistentClasses();
  CNode a(1, "A"), b(2, "B");
  // A trace class writes its rate file beside its trace, so the trace is copied to a folder of its own.
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(::testing::TempDir()) / ("kinds_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const fs::path examples = fs::path(VARLO_SOURCE_DIR) / "examples";
  fs::copy_file(examples / "chain_trace.vlt", folder / "chain_trace.vlt",
                fs::copy_options::overwrite_existing);
  std::set<std::string> persistentNames, jsonNames;
  for (const TrafficClassKind& kind : TrafficClassKinds()) {
    SCOPED_TRACE(kind.jsonName);
    EXPECT_TRUE(persistentNames.insert(kind.persistentName).second);
    EXPECT_TRUE(jsonNames.insert(kind.jsonName).second);
    EXPECT_EQ(FindKindByType(kind.type), &kind);
    EXPECT_EQ(FindKindByJsonName(kind.jsonName), &kind);

    // Reading an archive creates the class by its persistent name.
    const PersistentClassInfo* info = FindPersistentClass(kind.persistentName);
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->create()->GetRuntimeClassName(), kind.persistentName);

    // Made from one value per parameter, the class has this kind and gives the same values back.
    KindValues values;
    double number = 1.5;
    for (const KindParameter& p : kind.parameters) {
      if (p.type == KindParameter::kFile) {
        values.files[p.name] = kind.type == kTypeTrace ? (folder / "chain_trace.vlt").string()
                                                       : (examples / "chain_rates.vlr").string();
      } else {
        values.numbers[p.name] = number;
        number += 1.0;
      }
    }
    const std::unique_ptr<CTrafficClass> made = kind.create(&a, &b, 1.0, 2.0, values);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetType(), kind.type);
    EXPECT_STREQ(made->GetRuntimeClassName(), kind.persistentName);
    EXPECT_EQ(&KindOf(*made), &kind);
    const KindValues back = kind.valuesOf(*made);
    EXPECT_EQ(back.numbers, values.numbers);
    EXPECT_EQ(back.files, values.files);
    if (kind.rateSource == RateSource::kConstant) {
      EXPECT_EQ(kind.constantRate(*made), values.numbers.at("rate"));
    }
  }
  EXPECT_EQ(FindKindByJsonName("udp")->type, kTypeConstPoisson);
  EXPECT_EQ(FindKindByJsonName("none"), nullptr);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace varlo
