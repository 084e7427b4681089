// SPDX-License-Identifier: GPL-3.0-or-later
#include "LicenceDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString Resource(const QString& path) {
    QFile file(path);
    // Built into the program: only a broken build lacks it.
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("(%1 is missing from this build)").arg(path);
    return QString::fromUtf8(file.readAll());
}

QPlainTextEdit* Page(const QString& text) {
    auto* page = new QPlainTextEdit(text);
    page->setReadOnly(true);
    page->setLineWrapMode(QPlainTextEdit::NoWrap);
    page->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return page;
}

}  // namespace

QString LicenceText() {
    return Resource(QStringLiteral(":/licences/LICENSE"));
}

QString ThirdPartyNotices() {
    return Resource(QStringLiteral(":/licences/packaging/third-party-notices.txt"));
}

void ShowLicences(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("Licences"));
    dialog.setWindowTitle(QStringLiteral("Licences"));
    auto* pages = new QTabWidget;
    pages->addTab(Page(LicenceText()), QStringLiteral("RDN417 Config: GPL 3 or later"));
    pages->addTab(Page(ThirdPartyNotices()), QStringLiteral("Third-party software"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(pages);
    layout->addWidget(buttons);
    dialog.resize(640, 480);
    dialog.exec();
}
