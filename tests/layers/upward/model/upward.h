// A header of the model that reaches up into the engine: the layer check must name it.
#pragma once

#include "engine/run.h"
