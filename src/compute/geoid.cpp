#include "compute/geoid.h"

namespace trakvio {

float GeoidUndulation(const GeoidModel& model, double /*longitude*/, double /*latitude*/) {
    if (!model.loaded) return 0.0f;
    return 0.0f;
}

}  // namespace trakvio
