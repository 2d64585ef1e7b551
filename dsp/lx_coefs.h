#pragma once

// One second-order section's coefficient set, normalised by a0, with the two
// feedback coefficients stored negated, so that a section computes
//   y[n] = b0*x[n] + b1*x[n-1] + b2*x[n-2] + fb1*y[n-1] + fb2*y[n-2].
struct lx_coefs {
    float fb1;
    float fb2;
    float b0;
    float b1;
    float b2;
};
