#include "config/geoid_config.h"

#include <system_error>

#include "compute/geoid.h"
#include "platform/messages.h"
#include "platform/regular_file.h"

namespace trakvio {

std::string GeoidModelProblem(const Settings& settings) {
    if (settings.geoidModelFile.empty() || settings.geoidResult >= 1) return {};
    const std::filesystem::path& file = settings.geoidModelFile;
    std::error_code ec;
    const char* reason;
    if (settings.geoidResult == kGeoidUnknownKind) {
        reason =
            "its name names no kind of grid known here (an EGM2008 grid \"..._egm2008_isw=82_WGS84..._SE...\", a "
            "GSIGEO2011 \".asc\" grid or an \".isg\" file)";
    } else if (!std::filesystem::exists(file, ec)) {
        reason = "the file does not exist";
    } else if (IsNonRegularFile(file)) {
        reason = "it is not a regular file (a device, pipe or folder)";
    } else if (settings.geoidResult == kGeoidEgmFailed) {
        reason =
            "the EGM2008 grid's name lacks \"_SE\" or a grid size (\"_min2.5x2.5\", \"_min1x1\"), or the file cannot "
            "be read or is shorter than its grid";
    } else if (settings.geoidResult == kGeoidAsciiOpen || settings.geoidResult == kGeoidIsgOpen) {
        reason = "the file cannot be opened";
    } else if (settings.geoidResult == kGeoidAsciiBad) {
        reason = "the ASCII grid's header is unreadable or values are missing";
    } else if (settings.geoidResult == kGeoidIsgBad) {
        reason = "the ISG file's header has no end or is unusable, or values are missing";
    } else {
        reason = "it could not be loaded";
    }
    return "The geoid model " + file.string() + " is not in use: " + reason + ".";
}

int LoadConfiguredGeoidModel(Settings& settings) {
    if (settings.geoidModelFile.empty()) {
        settings.geoidModel = GeoidModel();
        settings.geoidResult = kGeoidUnknownKind;
    } else {
        const double* bounds = settings.geoidBounds;
        settings.geoidResult =
            LoadGeoidModel(settings.geoidModel, settings.geoidModelFile, bounds[0], bounds[2], bounds[1], bounds[3]);
        const std::string problem = GeoidModelProblem(settings);
        if (!problem.empty()) {
            ShowMessage(problem + "\nAltitudes are not corrected (geoidmodel in Trakvio.ini).", "Geoid Model",
                        MessageButtons::kOk, kAnswerOk, MessageIcon::kWarning);
        }
    }
    return settings.geoidResult;
}

}  // namespace trakvio
