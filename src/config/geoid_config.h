// The geoid model named by the configuration: loads the grid file of the
// geoidmodel line, with its part, into the settings once the configuration is
// read. Without a configured file no model is held.
#pragma once

#include <string>

#include "config/settings.h"

namespace trakvio {

// Loads settings.geoidModelFile with the bounds a, b (latitudes) and c, d
// (longitudes) of settings.geoidBounds into settings.geoidModel and keeps the
// result in settings.geoidResult: a LoadGeoidModel result, or
// kGeoidUnknownKind when no file is configured. Returns that result. A
// configured file that cannot be used is reported once, in a message naming
// it and what is wrong with it.
int LoadConfiguredGeoidModel(Settings& settings);

// Why the configured geoid model is not in use, naming its file ("The geoid
// model FILE is not in use: REASON."); empty when no file is configured or
// the model is loaded.
std::string GeoidModelProblem(const Settings& settings);

}  // namespace trakvio
