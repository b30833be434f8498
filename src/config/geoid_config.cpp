#include "config/geoid_config.h"

#include "compute/geoid.h"

namespace trakvio {

int LoadConfiguredGeoidModel(Settings& settings) {
    if (settings.geoidModelFile.empty()) {
        settings.geoidModel = GeoidModel();
        settings.geoidResult = kGeoidUnknownKind;
    } else {
        const double* bounds = settings.geoidBounds;
        settings.geoidResult =
            LoadGeoidModel(settings.geoidModel, settings.geoidModelFile, bounds[0], bounds[2], bounds[1], bounds[3]);
    }
    return settings.geoidResult;
}

}  // namespace trakvio
