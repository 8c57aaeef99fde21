// What the operator panels reach of the application: the device object of the run (null
// before it exists and after it is deleted), the application settings record (site and
// heliostat options), the alignment model (M and M^-1) and the program's log. The
// application object fills it; tests fill it with their own device, settings and model.
// GUI thread only.
#pragma once

#include <functional>

#include <armadillo>

#include "QuorvelAppSettings.h"
#include "core/AlignmentModel.h"
#include "core/MatrixDump.h"

class CQuorvel;

struct COperatorContext {
    std::function<CQuorvel*()> device;
    std::function<CQuorvelAppSettings*()> settings;
    std::function<const Suntrack::CAlignmentModel*()> alignment;
    std::function<Suntrack::LogTarget()> log;

    CQuorvel* Device() const { return device ? device() : nullptr; }
    CQuorvelAppSettings* Settings() const { return settings ? settings() : nullptr; }
    const Suntrack::CAlignmentModel* Alignment() const { return alignment ? alignment() : nullptr; }
    // Celestial -> instrument; the identity when no model is attached.
    arma::mat33 AlignmentMatrix() const {
        const Suntrack::CAlignmentModel* model = Alignment();
        return model ? model->Matrix() : arma::mat33(arma::fill::eye);
    }
};
