// Which set of queue and TCP formulas a run uses. "classic" is the model as first described,
// kept number for number so that stored dumps and comparisons keep their meaning; "refined" is
// consistent with M/M/1/K queueing theory (see engine/refined_model.h). The choice is program-wide,
// like the TCP profile; the desktop program keeps it in its settings store.
#pragma once

#include <optional>
#include <string>

namespace varlo {

enum class EvaluationModel { kClassic = 0, kRefined = 1 };

EvaluationModel GetEvaluationModel();
void SetEvaluationModel(EvaluationModel model);

// "classic" / "refined", the names of the settings store, the dump marker and varlo-cli.
const char* EvaluationModelName(EvaluationModel model);
std::optional<EvaluationModel> ParseEvaluationModel(const std::string& name);

}  // namespace varlo
