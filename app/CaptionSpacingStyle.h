// SPDX-License-Identifier: GPL-3.0-or-later
// The application's style with the caption of a radio button or check box as close to its
// indicator as Windows puts it, since the window's boxes were sized for Windows.
#pragma once

#include <QProxyStyle>

class CaptionSpacingStyle : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};
