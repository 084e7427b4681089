// SPDX-License-Identifier: GPL-3.0-or-later
// The program's licence and the notices of the software it is built on, as the window shows
// them from its About page. Both texts are built into the program.
#pragma once

#include <QString>

class QWidget;

// The GNU GPL text the program is distributed under.
QString LicenceText();
// The third-party notices: what the program links, under which licence, with their texts.
QString ThirdPartyNotices();
// A dialog with both texts on pages of their own; it closes with its button or Escape.
void ShowLicences(QWidget* parent);
