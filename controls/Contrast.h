// SPDX-License-Identifier: GPL-3.0-or-later
// Contrast between colours as WCAG measures it, for marks that a person must see (a focus
// frame needs 3:1 against what surrounds it).
#pragma once

#include <QColor>

// From 1 (the same luminance) to 21 (black on white).
double ContrastRatio(const QColor& first, const QColor& second);
// A colour of the accent's hue, as light or dark as stands out most from both colours that it
// lies between.
QColor StandingOut(const QColor& accent, const QColor& inside, const QColor& outside);
