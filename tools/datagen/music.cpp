#include "music.h"

#include "assets/asset_names.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>

namespace plenova::datagen {

namespace {

constexpr int kRate = assets::kMusicSampleRate;
// 72 beats a minute: 18375 samples a beat at 22050 Hz, 32 beats (8 bars) in the loop.
constexpr int kBeat = 18375;
constexpr int kBeats = 32;
constexpr int kLoop = kBeat * kBeats; // 588000 samples, 26.67 s
constexpr double kPi = 3.14159265358979;

double Clamp(double v) { return std::clamp(v, 0.0, 1.0); }

double Frequency(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }

// Stereo buffer laid out on a circle of kLoop samples.
struct Loop {
    std::vector<double> left = std::vector<double>(kLoop, 0.0);
    std::vector<double> right = std::vector<double>(kLoop, 0.0);
    void Add(long long at, double l, double r) {
        const auto i = static_cast<std::size_t>(((at % kLoop) + kLoop) % kLoop);
        left[i] += l;
        right[i] += r;
    }
};

// A soft pad note: a few detuned harmonics with slow attack and release.
void Pad(Loop& out, long long start, long long length, double midi, double gain, double pan) {
    const double f = Frequency(midi);
    const long long attack = kRate * 5 / 2, release = kRate * 3;
    const long long total = length + release;
    struct Partial {
        double ratio, amp, detune, side;
    };
    static const Partial kPartials[] = {{1, 1.0, -0.11, -1}, {1, 1.0, 0.13, 1},   {2, 0.22, 0.07, 1},
                                        {2, 0.22, -0.05, -1}, {3, 0.06, 0.0, 0},   {0.5, 0.25, 0.0, 0}};
    for (const Partial& part : kPartials) {
        const double omega = 2 * kPi * (f * part.ratio + part.detune) / kRate;
        std::complex<double> phasor(0, 1), step(std::cos(omega), std::sin(omega));
        const double l = part.amp * gain * (0.5 - 0.35 * part.side) * (1 - pan);
        const double r = part.amp * gain * (0.5 + 0.35 * part.side) * (1 + pan);
        for (long long n = 0; n < total; ++n) {
            double env;
            if (n < attack)
                env = 0.5 - 0.5 * std::cos(kPi * static_cast<double>(n) / attack);
            else if (n < length)
                env = 1;
            else
                env = 0.5 + 0.5 * std::cos(kPi * static_cast<double>(n - length) / release);
            const double v = env * phasor.real();
            out.Add(start + n, v * l, v * r);
            phasor *= step;
            if ((n & 1023) == 0) phasor /= std::abs(phasor);
        }
    }
}

// A soft bell for the arpeggio: a sine with a touch of frequency modulation that fades.
void Bell(Loop& out, long long start, double midi, double gain, double pan, double decaySeconds) {
    const double f = Frequency(midi);
    const long long total = static_cast<long long>(decaySeconds * 6 * kRate);
    const double tau = decaySeconds * kRate;
    const long long attack = kRate / 200;
    for (long long n = 0; n < total; ++n) {
        const double t = static_cast<double>(n) / kRate;
        double env = std::exp(-static_cast<double>(n) / tau);
        if (n < attack) env *= static_cast<double>(n) / attack;
        // Fade the far tail to exactly zero.
        env *= 1 - Clamp(static_cast<double>(n - (total - total / 6)) / (total / 6.0));
        const double mod = 0.9 * std::exp(-t / 0.25) * std::sin(2 * kPi * 2 * f * t);
        const double v = env * (std::sin(2 * kPi * f * t + mod) + 0.12 * std::sin(2 * kPi * 3 * f * t));
        out.Add(start + n, v * gain * (1 - pan) * 0.5, v * gain * (1 + pan) * 0.5);
    }
}

// Echo on the circle: the input repeats, so running the feedback loop over several turns and
// keeping the last gives the steady echo whose tail wraps into the start.
void PingPong(Loop& io, int delay, double feedback, double wet) {
    Loop out;
    std::vector<double> lineL(static_cast<std::size_t>(delay), 0.0), lineR(static_cast<std::size_t>(delay), 0.0);
    std::size_t pos = 0;
    for (int turn = 0; turn < 4; ++turn)
        for (int n = 0; n < kLoop; ++n) {
            const double dl = lineL[pos], dr = lineR[pos];
            // Left feeds right and right feeds left.
            lineL[pos] = io.left[n] * 0.6 + dr * feedback;
            lineR[pos] = io.right[n] * 0.2 + dl * feedback;
            pos = (pos + 1) % lineL.size();
            if (turn == 3) {
                out.left[n] = io.left[n] + wet * dl;
                out.right[n] = io.right[n] + wet * dr;
            }
        }
    io = std::move(out);
}

// Small Schroeder reverb (parallel combs, then all-passes), run over the circle as above.
struct Comb {
    std::vector<double> line;
    std::size_t pos = 0;
    double feedback, damp, store = 0;
    Comb(int length, double fb, double d) : line(static_cast<std::size_t>(length), 0.0), feedback(fb), damp(d) {}
    double Process(double x) {
        const double y = line[pos];
        store = y * (1 - damp) + store * damp;
        line[pos] = x + store * feedback;
        pos = (pos + 1) % line.size();
        return y;
    }
};
struct AllPass {
    std::vector<double> line;
    std::size_t pos = 0;
    explicit AllPass(int length) : line(static_cast<std::size_t>(length), 0.0) {}
    double Process(double x) {
        const double b = line[pos];
        line[pos] = x + b * 0.5;
        pos = (pos + 1) % line.size();
        return b - x;
    }
};

void Reverb(Loop& io, double wet) {
    Loop out;
    const int spread = 23;
    std::array<std::vector<Comb>, 2> combs;
    std::array<std::vector<AllPass>, 2> passes;
    for (int ch = 0; ch < 2; ++ch) {
        for (int length : {1557, 1617, 1491, 1422, 1277, 1356, 1188, 1116})
            combs[ch].emplace_back(length / 2 + ch * spread, 0.86, 0.35);
        for (int length : {556, 441, 341, 225}) passes[ch].emplace_back(length / 2 + ch * spread);
    }
    for (int turn = 0; turn < 3; ++turn)
        for (int n = 0; n < kLoop; ++n)
            for (int ch = 0; ch < 2; ++ch) {
                const double x = (ch == 0 ? io.left[n] : io.right[n]) * 0.06;
                double y = 0;
                for (Comb& c : combs[ch]) y += c.Process(x);
                for (AllPass& a : passes[ch]) y = a.Process(y);
                if (turn == 2) (ch == 0 ? out.left : out.right)[n] = (ch == 0 ? io.left[n] : io.right[n]) + wet * y;
            }
    io = std::move(out);
}

} // namespace

std::vector<std::int16_t> ComposeMusic() {
    Loop music;
    // Four chords, two bars each: Dmaj9, Bm9, Gmaj7(#11), Asus4.
    const std::array<std::array<double, 5>, 4> pads = {{{50, 57, 61, 64, 66},
                                                        {47, 54, 57, 61, 62},
                                                        {43, 50, 54, 59, 61},
                                                        {45, 52, 57, 59, 62}}};
    const std::array<std::array<double, 6>, 4> arps = {{{62, 66, 69, 73, 76, 78},
                                                        {59, 62, 66, 69, 73, 74},
                                                        {55, 59, 62, 66, 69, 73},
                                                        {57, 62, 64, 69, 71, 74}}};
    const std::array<double, 4> roots = {38, 35, 31, 33};
    const long long chordLength = 8LL * kBeat;
    for (int chord = 0; chord < 4; ++chord) {
        const long long start = chord * chordLength - kBeat / 2; // pads swell in just before the bar
        for (std::size_t k = 0; k < pads[chord].size(); ++k)
            Pad(music, start, chordLength, pads[chord][k], 0.055, (static_cast<double>(k) - 2) * 0.18);
        Pad(music, start, chordLength, roots[chord], 0.05, 0.0);
    }
    // Arpeggio in eighth notes, with rests so that it breathes.
    const int pattern[16] = {0, 2, 4, -1, 3, 1, 4, -1, 0, 2, 5, 4, 3, -1, 2, -1};
    const double accents[16] = {1.0, 0.6, 0.8, 0, 0.7, 0.55, 0.75, 0, 0.9, 0.6, 0.85, 0.65, 0.7, 0, 0.6, 0};
    for (int chord = 0; chord < 4; ++chord)
        for (int step = 0; step < 16; ++step) {
            if (pattern[step] < 0) continue;
            const long long at = chord * chordLength + static_cast<long long>(step) * kBeat / 2;
            const double pan = ((step * 5) % 7 - 3) * 0.12;
            Bell(music, at, arps[chord][static_cast<std::size_t>(pattern[step])], 0.085 * accents[step], pan, 0.55);
        }
    // High shimmer once per chord, an octave above the arpeggio.
    for (int chord = 0; chord < 4; ++chord)
        Bell(music, chord * chordLength + 5LL * kBeat, arps[chord][4] + 12, 0.03, chord % 2 == 0 ? -0.5 : 0.5, 1.6);

    PingPong(music, kBeat * 3 / 4, 0.42, 0.55);
    Reverb(music, 0.9);

    double peak = 0;
    for (int n = 0; n < kLoop; ++n) peak = std::max({peak, std::abs(music.left[n]), std::abs(music.right[n])});
    const double scale = peak > 0 ? 0.6 * 32767 / peak : 0;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kLoop) * 2);
    for (int n = 0; n < kLoop; ++n) {
        samples[2 * n] = static_cast<std::int16_t>(std::lround(music.left[n] * scale));
        samples[2 * n + 1] = static_cast<std::int16_t>(std::lround(music.right[n] * scale));
    }
    return samples;
}

} // namespace plenova::datagen
