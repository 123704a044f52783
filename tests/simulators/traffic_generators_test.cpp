#include "simulators/traffic_generators.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "model/tcp_class.h"
#include "model/trace_class.h"
#include "sim_test_support.h"

namespace varlo {
namespace {

using test::AddNode;
using test::ScratchFolder;

// Counts the hints a view receives.
struct HintCounter : IDocumentView {
  std::map<int, int> counts;
  void OnUpdate(IDocumentView*, int hint, CPersistent*) override { ++counts[hint]; }
};

TEST(GenerateTCPTraffic, TwoClassesPerNodeAmongThreeNodes) {
  for (std::uint32_t seed : {1u, 7u, 12345u, 0xFFFFFFFFu}) {
    CVarloDoc doc;
    CGraphicNode* nodes[] = {AddNode(doc, 1, "N1"), AddNode(doc, 2, "N2"), AddNode(doc, 3, "N3")};
    HintCounter view;
    doc.AddView(&view);
    TrafficGenerationOptions options;
    options.lowerCount = options.upperCount = 2;
    options.startTime = 1.5;
    options.stopTime = 9.0;
    options.seed = seed;
    const GenerationResult result = GenerateTCPTraffic(doc, options);
    EXPECT_EQ(result.createdCount, 6u);
    EXPECT_TRUE(result.skippedSources.empty());
    ASSERT_EQ(doc.GetClasses().size(), 6u);
    EXPECT_EQ(view.counts[kHintClassAdded], 6);
    std::map<const CNode*, int> perSource;
    for (const auto& c : doc.GetClasses()) {
      ASSERT_EQ(c->GetType(), kTypeTCP);
      EXPECT_NE(c->GetSource(), c->GetDestination());
      EXPECT_EQ(c->startTime, 1.5);
      EXPECT_EQ(c->stopTime, 9.0);
      EXPECT_EQ(static_cast<const CTCPClass&>(*c).sinkDelay, 0.0);
      ++perSource[c->GetSource()];
    }
    for (CGraphicNode* n : nodes) EXPECT_EQ(perSource[n], 2);
    EXPECT_TRUE(doc.IsModified());
    doc.RemoveView(&view);
  }
}

TEST(GenerateTCPTraffic, NothingForZeroCountsOrNoDestination) {
  CVarloDoc doc;
  AddNode(doc, 1, "A");
  AddNode(doc, 2, "B");
  doc.SetModifiedFlag(false);
  TrafficGenerationOptions options;
  options.seed = 3;
  EXPECT_EQ(GenerateTCPTraffic(doc, options).createdCount, 0u);
  options.lowerCount = options.upperCount = 4;
  options.destinationFilter = "X";
  EXPECT_EQ(GenerateTCPTraffic(doc, options).createdCount, 0u);
  EXPECT_TRUE(doc.GetClasses().empty());
  EXPECT_FALSE(doc.IsModified());
}

TEST(GenerateTCPTraffic, FiltersPickSourcesAndDestinations) {
  CVarloDoc doc;
  CGraphicNode* a1 = AddNode(doc, 1, "A1");
  CGraphicNode* a2 = AddNode(doc, 2, "A2");
  AddNode(doc, 3, "B");
  TrafficGenerationOptions options;
  options.sourceFilter = options.destinationFilter = "A";
  options.lowerCount = 1;
  options.upperCount = 5;
  options.seed = 77;
  GenerateTCPTraffic(doc, options);
  ASSERT_FALSE(doc.GetClasses().empty());
  for (const auto& c : doc.GetClasses()) {
    EXPECT_TRUE((c->GetSource() == a1 && c->GetDestination() == a2) ||
                (c->GetSource() == a2 && c->GetDestination() == a1));
  }
  // Matching is a case-sensitive substring test; the empty filter takes every name.
  EXPECT_TRUE(MatchesNodeFilter("Router-A3", "A"));
  EXPECT_FALSE(MatchesNodeFilter("router-a3", "A"));
  EXPECT_TRUE(MatchesNodeFilter("", ""));
}

TEST(GenerateTCPTraffic, SourceWhoseOnlyDestinationIsItselfIsSkipped) {
  CVarloDoc doc;
  CGraphicNode* server = AddNode(doc, 1, "server");
  AddNode(doc, 2, "client1");
  AddNode(doc, 3, "client2");
  TrafficGenerationOptions options;
  options.destinationFilter = "server";
  options.lowerCount = options.upperCount = 3;
  options.seed = 5;
  const GenerationResult result = GenerateTCPTraffic(doc, options);
  ASSERT_EQ(result.skippedSources.size(), 1u);
  EXPECT_EQ(result.skippedSources[0], server);
  EXPECT_EQ(result.createdCount, 6u);  // both clients still get their three classes
  for (const auto& c : doc.GetClasses()) EXPECT_EQ(c->GetDestination(), server);
}

TEST(GenerateTraceClasses, TraceFilesInRoundRobinAcrossSources) {
  ScratchFolder folder;
  std::vector<std::string> files;
  for (const char* name : {"f1.vlt", "f2.vlt", "f3.vlt"}) {
    files.push_back(folder / name);
    test::WriteText(files.back(), "0.1\n0.2\n0.35\n");
  }
  CVarloDoc doc;
  AddNode(doc, 1, "A");
  AddNode(doc, 2, "B");
  AddNode(doc, 3, "C");
  TraceGenerationOptions options;
  options.lowerCount = 1;
  options.upperCount = 3;
  options.slotSize = 0.05;
  options.stopTime = 0.0;
  options.traceFiles = files;
  options.seed = 11;
  const GenerationResult result = GenerateTraceClasses(doc, options);
  ASSERT_GE(result.createdCount, 3u);
  for (size_t i = 0; i < doc.GetClasses().size(); ++i) {
    const auto& trace = dynamic_cast<const CTraceClass&>(*doc.GetClasses()[i]);
    EXPECT_EQ(trace.traceFileName, files[i % 3]) << i;
    EXPECT_EQ(trace.slotSize, 0.05);
  }
}

TEST(GenerateTraceClasses, EmptyTraceListIsRefusedBeforeAnythingIsMade) {
  CVarloDoc doc;
  AddNode(doc, 1, "A");
  AddNode(doc, 2, "B");
  TraceGenerationOptions options;
  options.lowerCount = options.upperCount = 1;
  try {
    GenerateTraceClasses(doc, options);
    FAIL() << "an empty trace list was accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), kNoTraceFilesMessage);
  }
  EXPECT_TRUE(doc.GetClasses().empty());
}

TEST(DeleteAllTraffic, RemovesEveryClassAndTellsTheViews) {
  CVarloDoc doc;
  CGraphicNode* a = AddNode(doc, 1, "A");
  CGraphicNode* b = AddNode(doc, 2, "B");
  for (int i = 0; i < 4; ++i) doc.AddClass(std::make_unique<CTCPClass>(a, b, 0, 0, 0));
  doc.SetModifiedFlag(false);
  HintCounter view;
  doc.AddView(&view);
  DeleteAllTraffic(doc);
  EXPECT_TRUE(doc.GetClasses().empty());
  EXPECT_TRUE(a->GetClasses().empty());
  EXPECT_TRUE(b->GetClasses().empty());
  EXPECT_EQ(view.counts[kHintClassRemoved], 4);
  EXPECT_TRUE(doc.IsModified());
  doc.RemoveView(&view);
}

}  // namespace
}  // namespace varlo
