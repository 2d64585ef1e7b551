// Magnitude response from a measured impulse response, and its SVG plot.
#pragma once

#include <string>
#include <vector>

namespace vsthost {

// |H(f)| in dB of the impulse response h sampled at rate_hz, by a direct
// discrete-time Fourier sum (exact at any f, no bin rounding).
double magnitude_db(const std::vector<float>& h, double f_hz, double rate_hz);

// The one-third-octave centre frequencies from 20 Hz to 20 kHz that lie
// below the Nyquist frequency of rate_hz.
std::vector<double> standard_frequencies(double rate_hz);

// n frequencies spaced logarithmically from lo_hz to hi_hz, both included.
std::vector<double> log_frequencies(double lo_hz, double hi_hz, int n);

struct ResponseCurve {
    std::string label;
    std::vector<double> db;  // one value per frequency of the plot
};

struct ResponsePlot {
    std::string title;
    std::vector<std::string> notes;  // lines under the title
    std::vector<double> freqs_hz;
    std::vector<ResponseCurve> curves;
};

// The plot as a complete SVG document.
std::string response_svg(const ResponsePlot& plot);

}  // namespace vsthost
