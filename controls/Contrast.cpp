// SPDX-License-Identifier: GPL-3.0-or-later
#include "Contrast.h"

#include <algorithm>
#include <cmath>

namespace {

double channel(double value) {
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& color) {
    const QColor rgb = color.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) +
           0.0722 * channel(rgb.blueF());
}

}  // namespace

double ContrastRatio(const QColor& first, const QColor& second) {
    const double one = luminance(first);
    const double other = luminance(second);
    return (std::max(one, other) + 0.05) / (std::min(one, other) + 0.05);
}

QColor StandingOut(const QColor& accent, const QColor& inside, const QColor& outside) {
    const QColor hsl = accent.toHsl();
    QColor best;
    double bestContrast = 0;
    for (int step = 0; step <= 100; ++step) {
        const QColor candidate = QColor::fromHslF(hsl.hslHueF() < 0 ? 0 : hsl.hslHueF(),
                                                  hsl.hslSaturationF(), step / 100.0);
        const double contrast =
            std::min(ContrastRatio(candidate, inside), ContrastRatio(candidate, outside));
        if (contrast > bestContrast) {
            bestContrast = contrast;
            best = candidate;
        }
    }
    return best;
}
