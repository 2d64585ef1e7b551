#include "tools/host/response.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

namespace vsthost {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFloorDb = -200.0;  // shown for an exact zero

// Plot geometry, SVG user units.
constexpr double kWidth = 960, kHeight = 560;
constexpr double kLeft = 70, kRight = 30, kTop = 112, kBottom = 60;
constexpr double kDbStep = 6.0;  // grid spacing and range rounding

const char* const kCurveColours[] = {"#1f6fd1", "#e0601a", "#2a9d4b", "#9b3fb8"};

std::string xml_escape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control characters are not allowed in XML 1.0 text.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
                out += c;
        }
    }
    return out;
}

std::string fmt(const char* format, double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string freq_label(double f)
{
    if (f >= 1000.0)
        return fmt(std::fmod(f, 1000.0) == 0.0 ? "%.0fk" : "%.1fk", f / 1000.0);
    return fmt("%.0f", f);
}

}  // namespace

double magnitude_db(const std::vector<float>& h, double f_hz, double rate_hz)
{
    // Sum h[n]·z^-n with z^-n advanced by rotation; re-seeded from cos/sin
    // every 1024 samples so rounding does not accumulate over long responses.
    const double w = -2.0 * kPi * f_hz / rate_hz;
    const std::complex<double> step(std::cos(w), std::sin(w));
    std::complex<double> sum(0.0, 0.0);
    std::complex<double> rot(1.0, 0.0);
    for (size_t n = 0; n < h.size(); ++n) {
        if ((n & 1023) == 0)
            rot = std::polar(1.0, w * static_cast<double>(n));
        sum += static_cast<double>(h[n]) * rot;
        rot *= step;
    }
    const double mag = std::abs(sum);
    return mag > 0.0 ? 20.0 * std::log10(mag) : kFloorDb;
}

std::vector<double> standard_frequencies(double rate_hz)
{
    static const double kThirdOctave[] = {
        20,   25,   31.5, 40,   50,   63,   80,    100,   125,   160,   200,
        250,  315,  400,  500,  630,  800,  1000,  1250,  1600,  2000,  2500,
        3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};
    std::vector<double> out;
    for (double f : kThirdOctave)
        if (f < rate_hz / 2.0)
            out.push_back(f);
    return out;
}

std::vector<double> log_frequencies(double lo_hz, double hi_hz, int n)
{
    std::vector<double> out;
    for (int i = 0; i < n; ++i) {
        const double t = n > 1 ? static_cast<double>(i) / (n - 1) : 0.0;
        out.push_back(lo_hz * std::pow(hi_hz / lo_hz, t));
    }
    return out;
}

std::string response_svg(const ResponsePlot& plot)
{
    const double f_lo = plot.freqs_hz.empty() ? 20.0 : plot.freqs_hz.front();
    const double f_hi = plot.freqs_hz.empty() ? 20000.0 : plot.freqs_hz.back();

    // dB range: at least ±24 dB, widened in 6 dB steps to hold every finite
    // value above -96 dB.
    double lo = -24.0, hi = 24.0;
    for (const ResponseCurve& c : plot.curves)
        for (double v : c.db)
            if (std::isfinite(v) && v > -96.0) {
                lo = std::min(lo, std::floor(v / kDbStep) * kDbStep);
                hi = std::max(hi, std::ceil(v / kDbStep) * kDbStep);
            }
    const double pw = kWidth - kLeft - kRight;
    const double ph = kHeight - kTop - kBottom;
    auto x_of = [&](double f) { return kLeft + pw * std::log(f / f_lo) / std::log(f_hi / f_lo); };
    auto y_of = [&](double db) {
        db = std::clamp(db, lo, hi);
        return kTop + ph * (hi - db) / (hi - lo);
    };

    std::string s;
    s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + fmt("%.0f", kWidth) +
         "\" height=\"" + fmt("%.0f", kHeight) + "\" viewBox=\"0 0 " + fmt("%.0f", kWidth) + " " +
         fmt("%.0f", kHeight) + "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n";
    s += "<rect width=\"100%\" height=\"100%\" fill=\"#fbfbf8\"/>\n";
    s += "<text x=\"" + fmt("%.0f", kLeft) + "\" y=\"30\" font-size=\"20\" font-weight=\"bold\" "
         "fill=\"#222\">" + xml_escape(plot.title) + "</text>\n";
    double note_y = 52;
    for (const std::string& note : plot.notes) {
        s += "<text x=\"" + fmt("%.0f", kLeft) + "\" y=\"" + fmt("%.0f", note_y) +
             "\" font-size=\"12\" fill=\"#555\">" + xml_escape(note) + "</text>\n";
        note_y += 16;
    }

    // Plot area and grid.
    s += "<rect x=\"" + fmt("%.1f", kLeft) + "\" y=\"" + fmt("%.1f", kTop) + "\" width=\"" +
         fmt("%.1f", pw) + "\" height=\"" + fmt("%.1f", ph) +
         "\" fill=\"#ffffff\" stroke=\"#888\"/>\n";
    s += "<g stroke-width=\"1\">\n";
    for (double decade = 10.0; decade <= f_hi; decade *= 10.0)
        for (int m = 1; m <= 9; ++m) {
            const double f = decade * m;
            if (f < f_lo || f > f_hi)
                continue;
            const bool major = m == 1 || m == 2 || m == 5;
            const double x = x_of(f);
            s += "<line x1=\"" + fmt("%.1f", x) + "\" y1=\"" + fmt("%.1f", kTop) + "\" x2=\"" +
                 fmt("%.1f", x) + "\" y2=\"" + fmt("%.1f", kTop + ph) + "\" stroke=\"" +
                 (major ? "#c8c8c8" : "#ececec") + "\"/>\n";
            if (major)
                s += "<text x=\"" + fmt("%.1f", x) + "\" y=\"" + fmt("%.1f", kTop + ph + 18) +
                     "\" font-size=\"12\" text-anchor=\"middle\" fill=\"#444\">" +
                     freq_label(f) + "</text>\n";
        }
    for (double db = lo; db <= hi + 1e-9; db += kDbStep) {
        const double y = y_of(db);
        s += "<line x1=\"" + fmt("%.1f", kLeft) + "\" y1=\"" + fmt("%.1f", y) + "\" x2=\"" +
             fmt("%.1f", kLeft + pw) + "\" y2=\"" + fmt("%.1f", y) + "\" stroke=\"" +
             (db == 0.0 ? "#999" : "#e0e0e0") + "\"/>\n";
        s += "<text x=\"" + fmt("%.1f", kLeft - 8) + "\" y=\"" + fmt("%.1f", y + 4) +
             "\" font-size=\"12\" text-anchor=\"end\" fill=\"#444\">" + (db == 0.0 ? std::string("0") : fmt("%+.0f", db)) +
             "</text>\n";
    }
    s += "</g>\n";
    s += "<text x=\"" + fmt("%.1f", kLeft + pw / 2) + "\" y=\"" + fmt("%.1f", kHeight - 14) +
         "\" font-size=\"13\" text-anchor=\"middle\" fill=\"#333\">Frequency (Hz)</text>\n";
    s += "<text transform=\"translate(20," + fmt("%.1f", kTop + ph / 2) +
         ") rotate(-90)\" font-size=\"13\" text-anchor=\"middle\" fill=\"#333\">Gain (dB)</text>\n";

    // Curves, then their legend.
    for (size_t c = 0; c < plot.curves.size(); ++c) {
        const ResponseCurve& curve = plot.curves[c];
        std::string points;
        for (size_t i = 0; i < curve.db.size() && i < plot.freqs_hz.size(); ++i) {
            const double v = std::isfinite(curve.db[i]) ? curve.db[i] : lo;
            points += fmt("%.2f", x_of(plot.freqs_hz[i])) + "," + fmt("%.2f", y_of(v)) + " ";
        }
        s += std::string("<polyline fill=\"none\" stroke=\"") + kCurveColours[c % 4] +
             "\" stroke-width=\"2.2\" stroke-linejoin=\"round\"" +
             (c > 0 ? " stroke-dasharray=\"7 4\"" : "") + " points=\"" + points + "\"/>\n";
        const double ly = kTop + 18 + 18 * static_cast<double>(c);
        const double lx = kLeft + pw - 170;
        s += std::string("<line x1=\"") + fmt("%.1f", lx) + "\" y1=\"" + fmt("%.1f", ly - 4) +
             "\" x2=\"" + fmt("%.1f", lx + 26) + "\" y2=\"" + fmt("%.1f", ly - 4) +
             "\" stroke=\"" + kCurveColours[c % 4] + "\" stroke-width=\"2.2\"/>\n";
        s += "<text x=\"" + fmt("%.1f", lx + 32) + "\" y=\"" + fmt("%.1f", ly) +
             "\" font-size=\"12\" fill=\"#333\">" + xml_escape(curve.label) + "</text>\n";
    }
    s += "</svg>\n";
    return s;
}

}  // namespace vsthost
