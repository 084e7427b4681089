// SPDX-License-Identifier: GPL-3.0-or-later
// The window's pages from the keyboard: Ctrl+Tab and Ctrl+Page Down go to the next page,
// Ctrl+Shift+Tab and Ctrl+Page Up to the one before, wherever the focus is; and a screen
// reader reads each page by its title, and the tab bar as the page it shows.
#pragma once

class QTabWidget;

void AddPageKeys(QTabWidget& pages);
