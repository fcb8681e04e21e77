#include "channel/characteristic.h"

#include <cmath>

namespace rv {

namespace {

struct Coefficients {
    double a;
    double b;  // platinum: both sides of 0 °C; copper 1.428: below 0 °C only
    double c;  // below 0 °C only
    bool platinum;
};

Coefficients coefficientsOf(Characteristic characteristic) {
    switch (characteristic) {
        case Characteristic::Platinum1385:
            return {3.9083e-3, -5.775e-7, -4.183e-12, true};
        case Characteristic::Platinum1391:
            return {3.9690e-3, -5.841e-7, -4.330e-12, true};
        case Characteristic::Copper1428:
            return {4.28e-3, -6.2032e-7, 8.5154e-10, false};
        case Characteristic::Copper1426:
            break;
    }
    return {4.26e-3, 0, 0, false};
}

// Ratios outside these bounds are no reading of a sound sensor; they also keep Newton's
// method within the range where each characteristic falls steadily toward colder.
constexpr double kLowestRatio = 0.05;
constexpr double kHighestRatio = 4.5;
constexpr int kNewtonSteps = 50;
constexpr double kNewtonTolerance = 1e-9;  // °C

// d(R/R0)/dt below 0 °C.
double slopeBelowZero(const Coefficients& k, double t) {
    if (k.platinum) return k.a + 2 * k.b * t + k.c * (4 * t * t * t - 300 * t * t);
    return k.a + k.b * (2 * t + 6.7) + 3 * k.c * t * t;
}

}  // namespace

std::optional<Characteristic> CharacteristicOfType(int typeCode) {
    switch (typeCode) {
        case 0:
        case 2:
            return Characteristic::Copper1428;
        case 1:
        case 3:
            return Characteristic::Copper1426;
        case 4:
        case 5:
            return Characteristic::Platinum1391;
        case 6:
            return Characteristic::Platinum1385;
        default:
            return std::nullopt;
    }
}

double ResistanceRatio(Characteristic characteristic, double celsius) {
    const double t = celsius;
    const Coefficients k = coefficientsOf(characteristic);
    if (k.platinum) {
        const double ratio = 1 + k.a * t + k.b * t * t;
        return t < 0 ? ratio + k.c * (t - 100) * t * t * t : ratio;
    }
    if (t >= 0 || characteristic == Characteristic::Copper1426) return 1 + k.a * t;
    return 1 + k.a * t + k.b * t * (t + 6.7) + k.c * t * t * t;
}

std::optional<double> TemperatureOf(Characteristic characteristic, double r0, double resistance) {
    if (!(r0 > 0) || !std::isfinite(resistance)) return std::nullopt;
    const double ratio = resistance / r0;
    if (!(ratio > kLowestRatio) || ratio > kHighestRatio) return std::nullopt;
    const Coefficients k = coefficientsOf(characteristic);

    if (ratio >= 1 || characteristic == Characteristic::Copper1426) {
        if (!k.platinum) return (ratio - 1) / k.a;
        // The root of B t² + A t + (1 − ratio) = 0 that is 0 at ratio 1, written so that
        // no difference of near-equal numbers loses digits.
        const double d = 1 - ratio;
        return -2 * d / (k.a + std::sqrt(k.a * k.a - 4 * k.b * d));
    }

    // Below 0 °C: Newton's method from the linear estimate. Each characteristic is smooth,
    // rising and convex enough there that the steps close in from the first one.
    double t = (ratio - 1) / k.a;
    for (int i = 0; i < kNewtonSteps; ++i) {
        const double step = (ResistanceRatio(characteristic, t) - ratio) / slopeBelowZero(k, t);
        t -= step;
        if (std::fabs(step) < kNewtonTolerance) break;
    }
    return t;
}

}  // namespace rv
