// Geoid models: the undulation of the geoid above the WGS 84 ellipsoid, looked
// up in a loaded grid. Without a model every undulation is 0, so corrected
// altitudes equal the logged ones.
#pragma once

namespace trakvio {

struct GeoidModel {
    int loaded = 0;  // 1 while a grid is held
};

// Undulation in metres at (longitude, latitude); 0 outside the model and
// while no model is loaded.
float GeoidUndulation(const GeoidModel& model, double longitude, double latitude);

}  // namespace trakvio
