#pragma once

// The Lanczos kernel with three lobes: 1 near 0, 0 from |x| = 3 on, else
// sin(pi x) sin(pi x / 3) / (pi^2 x^2 / 3).
double XpLanczos3(double x);
