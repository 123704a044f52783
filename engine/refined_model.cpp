#include "engine/refined_model.h"

#include <cmath>

namespace varlo {

namespace {

double RhoRate(const MM1KMetrics& m, double rho, double lambda, double mu) {
  if (!(m.slope > 0.0)) return 0.0;  // a queue without room does not change
  return m.acceptedShare * (lambda - mu * rho) / m.slope;
}

}  // namespace

double RefinedRhoRate(double rho, double lambda, double mu, double K) {
  return RhoRate(MM1KClosedForm(rho, K), rho, lambda, mu);
}

double RefinedRhoRate(const MM1KMetrics& atRho, double rho, double lambda, double mu) {
  return RhoRate(atRho, rho, lambda, mu);
}

RefinedStepResult RefinedDiscreteStep(double& rho, double lambda, double mu, double K, double h) {
  MM1KMetrics atRho = MM1KClosedForm(rho, K);
  return RefinedDiscreteStep(rho, atRho, lambda, mu, K, h);
}

}  // namespace varlo
