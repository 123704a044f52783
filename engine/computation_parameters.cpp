#include "engine/computation_parameters.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/tcp_profile.h"
#include "model/document.h"
#include "platform/core/text_format.h"
#include "platform/core/thread_pool.h"

namespace varlo {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string FormatNumberField(double value) {
  return Format("%.15g", value);
}

std::string NumberRangeMessage(const NumberRange& range) {
  return FormatMessage(kNumberRangePattern, FormatNumberField(range.minimum),
                       FormatNumberField(range.maximum));
}

std::optional<double> ParseNumberField(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  if (begin == end) return std::nullopt;
  const std::string body = text.substr(begin, end - begin);
  char* stop = nullptr;
  const double value = std::strtod(body.c_str(), &stop);
  if (stop != body.c_str() + body.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<std::string> CheckNumberField(const std::string& text, const NumberRange& range,
                                            double& value) {
  const std::optional<double> parsed = ParseNumberField(text);
  if (!parsed) return std::string(kNotANumberMessage);
  if (*parsed < range.minimum || *parsed > range.maximum) return NumberRangeMessage(range);
  value = *parsed;
  return std::nullopt;
}

std::string ApplyDumpExtension(const std::string& name) {
  if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".dmp") == 0) return name;
  return name + ".dmp";
}

std::optional<ComputationFieldError> TakeComputationParameters(const ComputationParameterTexts& texts,
                                                               ComputationParameters& out) {
  if (auto error = CheckNumberField(texts.dumpInterval, kDumpIntervalRange, out.dumpInterval)) {
    return ComputationFieldError{ComputationField::kDumpInterval, *error};
  }
  out.dumpFilePath = ApplyDumpExtension(texts.dumpFilePath);
  if (auto error = CheckNumberField(texts.runningStep, kRunningStepRange, out.runningStep)) {
    return ComputationFieldError{ComputationField::kRunningStep, *error};
  }
  if (auto error = CheckNumberField(texts.totalTime, kTotalTimeRange, out.totalTime)) {
    return ComputationFieldError{ComputationField::kTotalTime, *error};
  }
  out.tcpProfile = texts.tcpProfile;
  return std::nullopt;
}

ComputationParameters GetComputationParameters(const CVarloDoc& doc) {
  ComputationParameters p;
  p.totalTime = doc.totalTime;
  p.runningStep = doc.runningStep;
  p.dumpInterval = doc.dumpInterval;
  p.dumpFilePath = doc.dumpFilePath;
  p.tcpProfile = GetTcpProfile();
  p.workerThreads = GetWorkerThreads();
  p.model = GetEvaluationModel();
  return p;
}

void SetComputationParameters(CVarloDoc& doc, const ComputationParameters& parameters) {
  doc.totalTime = parameters.totalTime;
  doc.runningStep = parameters.runningStep;
  doc.dumpInterval = parameters.dumpInterval;
  doc.dumpFilePath = parameters.dumpFilePath;
  SetTcpProfile(parameters.tcpProfile);
  SetWorkerThreads(parameters.workerThreads);
  SetEvaluationModel(parameters.model);
}

}  // namespace varlo
