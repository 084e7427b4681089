// SPDX-License-Identifier: GPL-3.0-or-later
#include "CaptionSpacingStyle.h"

int CaptionSpacingStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                     const QWidget* widget) const {
    // Windows leaves 4 pixels between the box and its caption; Qt's styles leave 6.
    constexpr int kWindowsCaptionSpacing = 4;
    if (metric == PM_RadioButtonLabelSpacing || metric == PM_CheckBoxLabelSpacing)
        return kWindowsCaptionSpacing;
    return QProxyStyle::pixelMetric(metric, option, widget);
}
