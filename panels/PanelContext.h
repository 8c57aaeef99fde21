// What the operator panels reach of the application: the device object of the run (null
// before it exists and after it is deleted) and the alignment transformation. The
// application object fills it; tests fill it with their own device and matrices.
#pragma once

#include <functional>

#include <armadillo>

class CQuorvel;

struct CPanelContext {
    std::function<CQuorvel*()> device;
    // Instrument -> celestial: the inverse of the current alignment matrix M.
    std::function<arma::mat33()> alignmentInverse;

    CQuorvel* Device() const { return device ? device() : nullptr; }
    arma::mat33 AlignmentInverse() const {
        return alignmentInverse ? alignmentInverse() : arma::mat33(arma::fill::eye);
    }
};
