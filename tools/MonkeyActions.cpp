#include "Monkey.h"
#include "link/Commands.h"
#include "link/QMCOMControl.h"
#include "settings/SettingsFile.h"
#include "ui/main/AdvancedPanel.h"
#include "ui/main/AppWindows.h"
#include "ui/main/AudioSourcePanel.h"
#include "ui/main/CommandRunner.h"
#include "ui/main/ConnectionPanel.h"
#include "ui/main/DeviceStatusPanel.h"
#include "ui/main/Prompter.h"
#include "ui/main/RoutingPanel.h"
#include "ui/main/SerialPortLister.h"
#include "ui/main/SettingPanel.h"
#include "ui/main/StatusBar.h"
#include "ui/main/TabContainer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
QString TMonkey::Name(QWidget* w) const
{
    if (!w->accessibleName().isEmpty()) return w->accessibleName();
    if (auto b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
        QString t = b->text();
        if (auto g = qobject_cast<QWidget*>(w->parent()))
            for (QWidget* p = g; p; p = p->parentWidget())
                if (auto box = qobject_cast<QGroupBox*>(p)) {
                    t = box->title() + '/' + t;
                    break;
                }
        return t;
    }
    QString n = QString::fromLatin1(w->metaObject()->className());
    if (!w->objectName().isEmpty()) n += ':' + w->objectName();
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (auto box = qobject_cast<QGroupBox*>(p)) return box->title() + '/' + n;
    return n;
}

QList<QWidget*> TMonkey::Targets(QWidget* root) const
{
    QList<QWidget*> out;
    const auto all = root->findChildren<QWidget*>();
    for (QWidget* w : all) {
        if (!w->isVisible() || !w->isEnabled()) continue;
        if (auto b = qobject_cast<QAbstractButton*>(w)) {
            // Search and configuration broadcast on the real network.
            if (b->text().startsWith(QLatin1String("Search")) ||
                b->text().startsWith(QLatin1String("Config")))
                continue;
            out << w;
        } else if (auto c = qobject_cast<QComboBox*>(w)) {
            if (c->count() > 0) out << w;
        } else if (auto e = qobject_cast<QLineEdit*>(w)) {
            if (!e->isReadOnly() && !qobject_cast<QComboBox*>(e->parent())) out << w;
        } else if (auto t = qobject_cast<QTableWidget*>(w)) {
            if (t->rowCount() > 0) out << w;
        } else if (qobject_cast<QTabBar*>(w)) {
            out << w;
        }
    }
    return out;
}

void TMonkey::Click(QWidget* w, Qt::MouseButton button)
{
    QPoint at = w->rect().center();
    if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(w);
        at = w->style()
                 ->subElementRect(qobject_cast<QRadioButton*>(w) ? QStyle::SE_RadioButtonIndicator
                                                                 : QStyle::SE_CheckBoxIndicator,
                                  &opt, w)
                 .center();
    }
    QTest::mouseClick(w, button, Qt::NoModifier, at);
}

void TMonkey::Act()
{
    QPointer<QWidget> modal = QApplication::activeModalWidget();
    QWidget* root = modal && modal != FForm.get() ? modal.data() : FForm.get();
    const QString n = QString::number(FDone);
    TRoutingPanel* routing = FForm->Setting()->Routing();
    // An open context menu takes the next click.
    if (routing->pm->isVisible()) {
        QList<QAction*> items;
        for (QAction* a : routing->pm->actions())
            if (a->isVisible() && !a->isSeparator()) items << a;
        if (FRandom.bounded(5) == 0 || items.isEmpty()) {
            Record(n + QStringLiteral(" menu: Escape"));
            routing->pm->hide();
            return;
        }
        QAction* a = items[FRandom.bounded(items.size())];
        Record(n + QStringLiteral(" menu: ") + a->text());
        QTest::mouseClick(routing->pm, Qt::LeftButton, Qt::NoModifier,
                          routing->pm->actionGeometry(a).center());
        return;
    }
    const int kind = FRandom.bounded(100);
    if (root == FForm.get() && kind < 3) {
        Record(n + QStringLiteral(" close button"));
        if (!FForm->Flags().Idle) FForm->close();
        return;
    }
    if (root == FForm.get() && kind < 8) {
        // A right click on a visible input button opens the routing menu.
        QList<QToolButton*> buttons;
        for (auto& row : routing->sbSetInput)
            for (QToolButton* b : row)
                if (b && b->isVisible() && b->isEnabled()) buttons << b;
        if (buttons.isEmpty()) return;
        QToolButton* b = buttons[FRandom.bounded(buttons.size())];
        Record(n + QStringLiteral(" right click ") + Name(b));
        QTest::mouseMove(b);
        QContextMenuEvent e(QContextMenuEvent::Mouse, b->rect().center(),
                            b->mapToGlobal(b->rect().center()));
        QApplication::sendEvent(b, &e);
        return;
    }
    if (root == FForm.get() && kind < 10) {
        FaultEvent();
        return;
    }
    const QList<QWidget*> targets = Targets(root);
    if (targets.isEmpty()) {
        if (modal && modal != FForm.get()) {
            Record(n + QStringLiteral(" dialog: Escape"));
            QTest::keyClick(modal, Qt::Key_Escape);
        }
        return;
    }
    QWidget* w = targets[FRandom.bounded(targets.size())];
    if (modal && modal != FForm.get() && FRandom.bounded(6) == 0) {
        Record(n + QStringLiteral(" dialog: Escape"));
        QTest::keyClick(modal, Qt::Key_Escape);
        return;
    }
    const QString name = Name(w);
    if (auto c = qobject_cast<QComboBox*>(w)) {
        const bool down = FRandom.bounded(2) == 1;
        Record(n + QStringLiteral(" choose %1 %2 (from %3)")
                       .arg(name, down ? "Down" : "Up", c->currentText()));
        c->setFocus();
        QTest::keyClick(c, down ? Qt::Key_Down : Qt::Key_Up);
    } else if (auto e = qobject_cast<QLineEdit*>(w)) {
        static const char* const Words[] = {"TV", "Deck", "Hall 2", "x", "Console", "[a]"};
        const QString text = QLatin1String(Words[FRandom.bounded(6)]);
        const bool replace = FRandom.bounded(2) == 1;
        Record(n + QStringLiteral(" type %1 '%2'%3").arg(name, text, replace ? " replacing" : ""));
        e->setFocus();
        if (replace) QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(e, text);
        if (FRandom.bounded(3) == 0) QTest::keyClick(e, Qt::Key_Return);
    } else if (auto t = qobject_cast<QTableWidget*>(w)) {
        const int row = FRandom.bounded(t->rowCount());
        const bool twice = FRandom.bounded(4) == 0;
        Record(
            n +
            QStringLiteral(" %1 %2 row %3").arg(twice ? "double-click" : "click", name).arg(row));
        const QPoint at = t->visualRect(t->model()->index(row, 0)).center();
        QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        if (twice) QTest::mouseDClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    } else if (auto bar = qobject_cast<QTabBar*>(w)) {
        const int i = FRandom.bounded(bar->count());
        Record(n + QStringLiteral(" tab ") + bar->tabText(i));
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(i).center());
    } else {
        Record(n + QStringLiteral(" click ") + name);
        if (qobject_cast<QToolButton*>(w)) QTest::mouseMove(w);
        Click(w);
    }
}
