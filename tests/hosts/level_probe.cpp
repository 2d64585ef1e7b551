// level_probe: measures what a host did to a signal, for the real-host tests.
//
//   level_probe merge LEFT RIGHT OUT   two mono files (a DAW's recorded take)
//                                      into one stereo 32-bit float WAV
//   level_probe compare REF OUT SKIP   levels of OUT against REF, both stereo
//                                      and sample-aligned, ignoring the first
//                                      SKIP seconds (parameter glides) and
//                                      the last SKIP seconds (a host's
//                                      declick at the end of a render)
//
// compare prints, one measurement a line:
//   frames N                 frames compared (between the skips)
//   ref_rms_db X             level of REF, both channels together
//   gain_db X                level of OUT minus level of REF
//   band HZ X                gain in the octave band centred on HZ: output
//                            power over input power, summed over the band's
//                            FFT bins (Hann-windowed, half-overlapping
//                            segments, both channels)
//   residual_db X            level of OUT - REF relative to REF (how far OUT
//                            is from being REF itself)
// and exits with 0; any unreadable or mismatched input exits with 2.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr size_t kSegment = 16384;  // 2.9 Hz bins at 48 kHz: several bins in the 31.5 Hz octave
const double kBandCentresHz[] = {31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};

struct Audio {
    int rate = 0;
    int channels = 0;
    std::vector<float> frames;  // interleaved
    size_t count() const { return channels ? frames.size() / channels : 0; }
};

bool read_audio(const char* path, Audio* audio)
{
    SF_INFO info = {};
    SNDFILE* f = sf_open(path, SFM_READ, &info);
    if (!f) {
        std::fprintf(stderr, "level_probe: cannot read %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    audio->rate = info.samplerate;
    audio->channels = info.channels;
    audio->frames.resize(static_cast<size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_float(f, audio->frames.data(), info.frames);
    sf_close(f);
    audio->frames.resize(static_cast<size_t>(got) * info.channels);
    return true;
}

int merge(const char* left_path, const char* right_path, const char* out_path)
{
    Audio left, right;
    if (!read_audio(left_path, &left) || !read_audio(right_path, &right))
        return 2;
    if (left.channels != 1 || right.channels != 1 || left.rate != right.rate) {
        std::fprintf(stderr, "level_probe: merge needs two mono files of one rate\n");
        return 2;
    }
    const size_t n = std::min(left.count(), right.count());
    std::vector<float> stereo(2 * n);
    for (size_t i = 0; i < n; ++i) {
        stereo[2 * i] = left.frames[i];
        stereo[2 * i + 1] = right.frames[i];
    }
    SF_INFO info = {};
    info.samplerate = left.rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(out_path, SFM_WRITE, &info);
    if (!f) {
        std::fprintf(stderr, "level_probe: cannot write %s: %s\n", out_path, sf_strerror(nullptr));
        return 2;
    }
    const sf_count_t put = sf_writef_float(f, stereo.data(), static_cast<sf_count_t>(n));
    sf_close(f);
    return put == static_cast<sf_count_t>(n) ? 0 : 2;
}

// In-place radix-2 FFT; size is a power of two.
void fft(std::vector<std::complex<double>>& x)
{
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2.0 * kPi / static_cast<double>(len));
        for (size_t start = 0; start < n; start += len) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> a = x[start + k];
                const std::complex<double> b = x[start + k + len / 2] * w;
                x[start + k] = a + b;
                x[start + k + len / 2] = a - b;
                w *= step;
            }
        }
    }
}

// Power spectrum of one channel over frames [first, end), averaged over segments.
std::vector<double> power_spectrum(const Audio& a, int channel, size_t first, size_t end)
{
    std::vector<double> power(kSegment / 2 + 1, 0.0);
    std::vector<std::complex<double>> buf(kSegment);
    for (size_t start = first; start + kSegment <= end; start += kSegment / 2) {
        for (size_t i = 0; i < kSegment; ++i) {
            const double hann = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) / kSegment);
            buf[i] = hann * a.frames[(start + i) * a.channels + channel];
        }
        fft(buf);
        for (size_t k = 0; k < power.size(); ++k)
            power[k] += std::norm(buf[k]);
    }
    return power;
}

double db(double power_ratio) { return 10.0 * std::log10(power_ratio); }

int compare(const char* ref_path, const char* out_path, const char* skip_text)
{
    Audio ref, out;
    if (!read_audio(ref_path, &ref) || !read_audio(out_path, &out))
        return 2;
    const double skip_s = std::atof(skip_text);
    if (ref.channels != 2 || out.channels != 2 || ref.rate != out.rate || skip_s < 0.0) {
        std::fprintf(stderr, "level_probe: compare needs two stereo files of one rate\n");
        return 2;
    }
    const size_t first = static_cast<size_t>(skip_s * ref.rate);
    const size_t n = std::min(ref.count(), out.count());
    if (n < 2 * first + 2 * kSegment) {
        std::fprintf(stderr, "level_probe: too little audio between the skips (%zu frames)\n", n);
        return 2;
    }

    double ref_power = 0.0, out_power = 0.0, diff_power = 0.0;
    const size_t end = n - first;
    for (size_t i = 2 * first; i < 2 * end; ++i) {
        const double r = ref.frames[i], o = out.frames[i];
        ref_power += r * r;
        out_power += o * o;
        diff_power += (o - r) * (o - r);
    }
    if (ref_power <= 0.0) {
        std::fprintf(stderr, "level_probe: the reference is silent\n");
        return 2;
    }
    const double samples = static_cast<double>(2 * (end - first));
    std::printf("frames %zu\n", end - first);
    std::printf("ref_rms_db %.3f\n", db(ref_power / samples));
    std::printf("gain_db %.3f\n", db(out_power / ref_power));

    std::vector<double> ref_spec(kSegment / 2 + 1, 0.0), out_spec(kSegment / 2 + 1, 0.0);
    for (int ch = 0; ch < 2; ++ch) {
        const std::vector<double> r = power_spectrum(ref, ch, first, end);
        const std::vector<double> o = power_spectrum(out, ch, first, end);
        for (size_t k = 0; k < r.size(); ++k) {
            ref_spec[k] += r[k];
            out_spec[k] += o[k];
        }
    }
    const double bin_hz = static_cast<double>(ref.rate) / kSegment;
    for (double centre : kBandCentresHz) {
        const double lo = centre / std::sqrt(2.0), hi = centre * std::sqrt(2.0);
        double r = 0.0, o = 0.0;
        for (size_t k = 1; k < ref_spec.size(); ++k) {
            const double f = static_cast<double>(k) * bin_hz;
            if (f >= lo && f < hi) {
                r += ref_spec[k];
                o += out_spec[k];
            }
        }
        if (r > 0.0 && o > 0.0)
            std::printf("band %g %.3f\n", centre, db(o / r));
    }
    std::printf("residual_db %.3f\n", diff_power > 0.0 ? db(diff_power / ref_power) : -999.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "merge" && argc == 5)
        return merge(argv[2], argv[3], argv[4]);
    if (command == "compare" && argc == 5)
        return compare(argv[2], argv[3], argv[4]);
    std::fprintf(stderr,
                 "usage: level_probe merge LEFT RIGHT OUT\n"
                 "       level_probe compare REF OUT SKIP_SECONDS\n");
    return 2;
}
