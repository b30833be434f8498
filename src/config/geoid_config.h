// The geoid model named by the configuration: loads the grid file of the
// geoidmodel line, with its part, into the settings once the configuration is
// read. Without a configured file no model is held.
#pragma once

#include "config/settings.h"

namespace trakvio {

// Loads settings.geoidModelFile with the bounds a, b (latitudes) and c, d
// (longitudes) of settings.geoidBounds into settings.geoidModel and keeps the
// result in settings.geoidResult: a LoadGeoidModel result, or
// kGeoidUnknownKind when no file is configured. Returns that result.
int LoadConfiguredGeoidModel(Settings& settings);

}  // namespace trakvio
