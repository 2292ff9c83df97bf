#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "SignalAnalysis.h"
#include "engine/ChaosRandom.h"
#include "engine/QuadratureAllpass.h"

TEST(ChaosRandom, FirstDrawsAndReseed) {
    ChaosRandom random;
    const double expected[] = {0.3297622691561628, 0.6397093820932014, 0.7181846130796998, 0.8068044354930066,
                               0.3095019458654633};
    for (double e : expected) {
        EXPECT_DOUBLE_EQ(random.draw(), e);
    }
    random.reseed(0);
    for (int i = 0; i < 3; ++i) {
        random.draw();
    }
    EXPECT_NEAR(random.state(), 19.7181846130797, 1e-12);
    // Reseeding restarts the sequence whatever came before.
    random.reseed(2);
    EXPECT_DOUBLE_EQ(random.draw(), expected[2]);
}

TEST(QuadratureAllpass, CoefficientsAt44100) {
    QuadratureAllpass analyser(44100.0f);
    EXPECT_NEAR(analyser.coefficient(0), -0.99922901, 1e-7);
    EXPECT_NEAR(analyser.coefficient(6), -0.99732703, 1e-7);
    EXPECT_NEAR(analyser.coefficient(11), 0.49495652, 1e-7);
}

TEST(QuadratureAllpass, ChainsAreAllpassAndAQuarterPeriodApart) {
    QuadratureAllpass analyser;
    // An impulse keeps unit energy in each chain.
    const int n = 1 << 18;
    double energyA = 0.0;
    double energyB = 0.0;
    for (int i = 0; i < n; ++i) {
        float a = 0.0f;
        float b = 0.0f;
        analyser.step(i == 0 ? 1.0f : 0.0f, a, b);
        energyA += double(a) * a;
        energyB += double(b) * b;
    }
    EXPECT_NEAR(energyA, 1.0, 1e-3);
    EXPECT_NEAR(energyB, 1.0, 1e-3);

    // Chain B leads chain A by 90 degrees across the band.
    for (double f : {100.0, 1000.0, 5000.0, 10000.0}) {
        analyser.reset();
        std::vector<float> a(44100);
        std::vector<float> b(44100);
        for (int i = 0; i < 44100; ++i) {
            analyser.step(static_cast<float>(std::sin(2.0 * M_PI * f * i / 44100.0)), a[i], b[i]);
        }
        const int skip = 22050;  // let the slow poles settle
        const double lead = zbtest::tonePhase(b.data() + skip, 22050, f, 44100.0) -
                            zbtest::tonePhase(a.data() + skip, 22050, f, 44100.0);
        const double degrees = std::remainder(lead, 2.0 * M_PI) * 180.0 / M_PI;
        EXPECT_NEAR(degrees, 90.0, 1.0) << f << " Hz";
    }

    analyser.reset();
    float a = 1.0f;
    float b = 1.0f;
    analyser.step(0.0f, a, b);
    EXPECT_EQ(a, 0.0f);
    EXPECT_EQ(b, 0.0f);
}
