// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Vxpotlab.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QFrame>
#include <QPluginLoader>
#include <QUiLoader>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>

#include <memory>

namespace {

TEST(DesignerPlugin, LoadsAndOffersBothControls) {
    QPluginLoader loader(QStringLiteral(RDN417_DESIGNER_PLUGIN_PATH));
    QObject* instance = loader.instance();
    ASSERT_NE(instance, nullptr) << loader.errorString().toStdString();
    auto* collection = qobject_cast<QDesignerCustomWidgetCollectionInterface*>(instance);
    ASSERT_NE(collection, nullptr);
    QDesignerCustomWidgetInterface* pot = nullptr;
    for (auto* widget : collection->customWidgets())
        if (widget->name() == "Tvxpotlab")
            pot = widget;
    ASSERT_NE(pot, nullptr);
    EXPECT_EQ(pot->group(), "XObj");
    EXPECT_FALSE(pot->isContainer());
    std::unique_ptr<QWidget> created(pot->createWidget(nullptr));
    // The plugin carries its own copy of the class, so compare by name.
    ASSERT_NE(created, nullptr);
    EXPECT_STREQ(created->metaObject()->className(), "Tvxpotlab");
    EXPECT_EQ(created->property("State").toInt(), 0);

    QDesignerCustomWidgetInterface* tank = nullptr;
    for (auto* widget : collection->customWidgets())
        if (widget->name() == "TvxSampleTank")
            tank = widget;
    ASSERT_NE(tank, nullptr);
    EXPECT_EQ(tank->group(), "Xobj");
    std::unique_ptr<QWidget> display(tank->createWidget(nullptr));
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(display->property("Max").toInt(), 256);
    // A new display is placed 100 x 80: the geometry Designer writes into the form from the
    // plugin's XML, read back as a form loader reads it, and the display's own size hint.
    EXPECT_EQ(display->sizeHint(), QSize(100, 80));
    QString element = tank->domXml();
    element = element.mid(element.indexOf("<widget"));
    element.truncate(element.indexOf("</ui>"));
    QBuffer form;
    form.setData(("<ui version=\"4.0\"><widget class=\"QWidget\" name=\"form\">" +
                  element.replace("TvxSampleTank", "QFrame") + "</widget></ui>")
                     .toUtf8());
    form.open(QIODevice::ReadOnly);
    QUiLoader formLoader;
    std::unique_ptr<QWidget> loaded(formLoader.load(&form));
    ASSERT_NE(loaded, nullptr) << formLoader.errorString().toStdString();
    const auto* placed = loaded->findChild<QFrame*>("vxSampleTank");
    ASSERT_NE(placed, nullptr);
    EXPECT_EQ(placed->size(), QSize(100, 80));
}

// Builds the pot itself, as the program's compiled forms do.
class PotLoader : public QUiLoader {
  public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        if (className != "Tvxpotlab")
            return QUiLoader::createWidget(className, parent, name);
        auto* pot = new Tvxpotlab(parent);  // owned by its parent, or by the caller of load()
        pot->setObjectName(name);
        return pot;
    }
};

std::unique_ptr<QWidget> loadForm(const QByteArray& ui) {
    QBuffer buffer;
    buffer.setData(ui);
    buffer.open(QIODevice::ReadOnly);
    PotLoader loader;
    return std::unique_ptr<QWidget>(loader.load(&buffer));
}

TEST(DesignerForm, StoredPropertiesApplyInTheirPublishedOrder) {
    auto form = loadForm(R"(<ui version="4.0">
 <widget class="QWidget" name="form">
  <widget class="Tvxpotlab" name="pot">
   <property name="State"><number>120</number></property>
   <property name="Max"><number>127</number></property>
   <property name="Mouvement"><enum>Tvxpotlab::posHorizontal</enum></property>
   <property name="KeyboardControl"><bool>true</bool></property>
  </widget>
 </widget>
</ui>)");
    ASSERT_NE(form, nullptr);
    auto* pot = form->findChild<Tvxpotlab*>("pot");
    ASSERT_NE(pot, nullptr);
    // State was limited by the Max of 100 that the pot had when State was applied.
    EXPECT_EQ(pot->State(), 100);
    EXPECT_EQ(pot->Max(), 127);
    EXPECT_EQ(pot->text(), "100");
    EXPECT_EQ(pot->Mouvement(), posHorizontal);
    EXPECT_TRUE(pot->AlwayDetect());  // not stored: a new pot's value
    EXPECT_EQ(pot->focusPolicy(), Qt::StrongFocus);
}

}  // namespace
