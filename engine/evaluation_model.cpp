#include "engine/evaluation_model.h"

#include <atomic>

namespace varlo {

namespace {

std::atomic<int> g_model{static_cast<int>(EvaluationModel::kClassic)};

}  // namespace

EvaluationModel GetEvaluationModel() {
  return static_cast<EvaluationModel>(g_model.load(std::memory_order_relaxed));
}

void SetEvaluationModel(EvaluationModel model) {
  g_model.store(static_cast<int>(model), std::memory_order_relaxed);
}

const char* EvaluationModelName(EvaluationModel model) {
  return model == EvaluationModel::kRefined ? "refined" : "classic";
}

std::optional<EvaluationModel> ParseEvaluationModel(const std::string& name) {
  if (name == "classic") return EvaluationModel::kClassic;
  if (name == "refined") return EvaluationModel::kRefined;
  return std::nullopt;
}

}  // namespace varlo
