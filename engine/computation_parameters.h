// The values that steer an evaluation run (total time, running step, dump interval, dump file and
// the program-wide TCP profile), their defaults, ranges and the checks the "Computation Properties"
// dialog and varlo-cli share. Times are seconds.
#pragma once

#include <optional>
#include <string>

#include "engine/evaluation_model.h"

namespace varlo {

class CVarloDoc;

inline constexpr double kDefaultTotalTime = 15.0;
inline constexpr double kDefaultRunningStep = 0.01;
inline constexpr double kDefaultDumpInterval = 0.1;

// Closed range of a numeric field, both bounds accepted.
struct NumberRange {
  double minimum;
  double maximum;
};

inline constexpr NumberRange kTotalTimeRange{1.0, 10000.0};
inline constexpr NumberRange kRunningStepRange{0.0001, 5.0};
inline constexpr NumberRange kDumpIntervalRange{0.001, 10.0};

// The fields in the order the dialog exchanges and checks them.
enum class ComputationField { kDumpInterval, kDumpFile, kRunningStep, kTotalTime, kProfile };

inline constexpr const char* kNotANumberMessage = "Please enter a number.";
inline constexpr const char* kNumberRangePattern = "Please enter a number between %1 and %2.";

// "Please enter a number between %1 and %2." with the bounds written as the framework writes them
// (shortest form with 15 significant digits: 0.0001, 10000).
std::string NumberRangeMessage(const NumberRange& range);

// Parses a field's text: blanks around the number are allowed, anything else is not a number.
// Infinities and NaN are refused as not a number, since no range check can hold them.
std::optional<double> ParseNumberField(const std::string& text);

// Parses and range-checks; on failure returns the user's message.
std::optional<std::string> CheckNumberField(const std::string& text, const NumberRange& range, double& value);

// The ".dmp" rule: appended unless the last four characters are exactly ".dmp" (case-sensitive).
std::string ApplyDumpExtension(const std::string& name);

struct ComputationParameters {
  double totalTime = kDefaultTotalTime;
  double runningStep = kDefaultRunningStep;
  double dumpInterval = kDefaultDumpInterval;
  std::string dumpFilePath;
  int tcpProfile = 0;  // 0 "NetBSD 1.2 Profile", 1 "NS Profile"
  int workerThreads = 0;  // threads of the runs, program-wide; 0: every core
  EvaluationModel model = EvaluationModel::kClassic;  // program-wide, like the profile
};

// The field texts as typed, for the shared check.
struct ComputationParameterTexts {
  std::string totalTime;
  std::string runningStep;
  std::string dumpInterval;
  std::string dumpFilePath;
  int tcpProfile = 0;
};

struct ComputationFieldError {
  ComputationField field;
  std::string message;
};

// Takes the texts in exchange order (dump interval, file, running step, total time, profile),
// stops at the first failing field and applies the ".dmp" rule to the file name. On success the
// values are written to out; on failure out keeps the fields taken before the failing one.
std::optional<ComputationFieldError> TakeComputationParameters(const ComputationParameterTexts& texts,
                                                               ComputationParameters& out);

// Document fields and the program-wide profile, model and thread settings, read and written together.
ComputationParameters GetComputationParameters(const CVarloDoc& doc);
void SetComputationParameters(CVarloDoc& doc, const ComputationParameters& parameters);

// The value as the dialog shows it in its field ("%.15g" form, as the framework fills edits).
std::string FormatNumberField(double value);

}  // namespace varlo
