// Computation parameters: ranges, messages, the ".dmp" rule and the exchange order.
#include "engine/computation_parameters.h"

#include <gtest/gtest.h>

#include "engine/tcp_profile.h"
#include "model/document.h"

namespace varlo {
namespace {

TEST(ComputationParameters, RangeMessagesNameTheBounds) {
  EXPECT_EQ(NumberRangeMessage(kTotalTimeRange), "Please enter a number between 1 and 10000.");
  EXPECT_EQ(NumberRangeMessage(kRunningStepRange), "Please enter a number between 0.0001 and 5.");
  EXPECT_EQ(NumberRangeMessage(kDumpIntervalRange), "Please enter a number between 0.001 and 10.");
}

TEST(ComputationParameters, BoundsAreAcceptedAndValuesOutsideRefused) {
  double v = 0;
  EXPECT_EQ(CheckNumberField("0.5", kTotalTimeRange, v), "Please enter a number between 1 and 10000.");
  EXPECT_EQ(CheckNumberField("10000", kTotalTimeRange, v), std::nullopt);
  EXPECT_EQ(v, 10000.0);
  EXPECT_EQ(CheckNumberField("0.0001", kRunningStepRange, v), std::nullopt);
  EXPECT_EQ(CheckNumberField("5.5", kRunningStepRange, v), "Please enter a number between 0.0001 and 5.");
  EXPECT_EQ(CheckNumberField("10", kDumpIntervalRange, v), std::nullopt);
}

TEST(ComputationParameters, TextThatIsNotANumberIsRefused) {
  double v = 7;
  for (const char* text : {"", "  ", "abc", "1.5x", "nan", "inf", "1,5"}) {
    EXPECT_EQ(CheckNumberField(text, kTotalTimeRange, v), "Please enter a number.") << text;
  }
  EXPECT_EQ(v, 7.0);
  EXPECT_EQ(CheckNumberField("  20 ", kTotalTimeRange, v), std::nullopt);
  EXPECT_EQ(v, 20.0);
}

TEST(ComputationParameters, DumpExtensionRule) {
  EXPECT_EQ(ApplyDumpExtension("results"), "results.dmp");
  EXPECT_EQ(ApplyDumpExtension("results.dmp"), "results.dmp");
  EXPECT_EQ(ApplyDumpExtension("results.DMP"), "results.DMP.dmp");
  EXPECT_EQ(ApplyDumpExtension(""), ".dmp");
  EXPECT_EQ(ApplyDumpExtension("dmp"), "dmp.dmp");
  EXPECT_EQ(ApplyDumpExtension(".dmp"), ".dmp");
}

TEST(ComputationParameters, FieldsAreTakenInExchangeOrderAndStopAtTheFirstFailure) {
  ComputationParameters p;
  ComputationParameterTexts texts{"0.5", "99", "0.05", "out", 1};
  auto error = TakeComputationParameters(texts, p);
  ASSERT_TRUE(error);
  // Dump interval and file are taken; the running step fails before the (also bad) total time.
  EXPECT_EQ(error->field, ComputationField::kRunningStep);
  EXPECT_EQ(error->message, "Please enter a number between 0.0001 and 5.");
  EXPECT_EQ(p.dumpInterval, 0.05);
  EXPECT_EQ(p.dumpFilePath, "out.dmp");
  EXPECT_EQ(p.totalTime, 15.0);

  texts = ComputationParameterTexts{"20", "0.01", "x", "out", 0};
  error = TakeComputationParameters(texts, p);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->field, ComputationField::kDumpInterval);
  EXPECT_EQ(error->message, "Please enter a number.");

  texts = ComputationParameterTexts{"20", "0.02", "0.5", "run.dmp", 1};
  ASSERT_FALSE(TakeComputationParameters(texts, p));
  EXPECT_EQ(p.totalTime, 20.0);
  EXPECT_EQ(p.runningStep, 0.02);
  EXPECT_EQ(p.dumpInterval, 0.5);
  EXPECT_EQ(p.dumpFilePath, "run.dmp");
  EXPECT_EQ(p.tcpProfile, 1);
}

TEST(ComputationParameters, ProfileSettingIsProgramWide) {
  const int saved = GetTcpProfile();
  CVarloDoc first, second;
  ComputationParameters p = GetComputationParameters(first);
  p.tcpProfile = kProfileNS;
  SetComputationParameters(first, p);
  EXPECT_EQ(GetComputationParameters(second).tcpProfile, kProfileNS);
  SetTcpProfile(saved);
}

}  // namespace
}  // namespace varlo
