#include "TabContainer.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTabBar>

TTabContainer::TTabContainer(QWidget* parent) : QTabWidget(parent)
{
    tabBar()->installEventFilter(this);
}

bool TTabContainer::event(QEvent* event)
{
    // A label that changes its text on a page asks every layout above it to
    // look again; QTabWidget answers that by placing its bar and pages anew
    // and repainting all of the visible page, a millisecond or more between
    // two commands. Its bar and pages only move when its own size or the
    // bar's size changes: otherwise the page's own layout is enough.
    if (event->type() == QEvent::LayoutRequest && isVisible()) {
        const QSize bar = tabBar()->sizeHint();
        if (size() == FLaidOutSize && bar == FLaidOutTabBar) {
            updateGeometry();
            return QWidget::event(event);
        }
        FLaidOutSize = size();
        FLaidOutTabBar = bar;
    }
    return QTabWidget::event(event);
}

bool TTabContainer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != tabBar()) return QTabWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* me = static_cast<QMouseEvent*>(event);
        const int index = tabBar()->tabAt(me->position().toPoint());
        if (index >= 0 && index != currentIndex() && !ChangeAllowed()) return true;
        break;
    }
    case QEvent::KeyPress:
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
            if (!ChangeAllowed()) return true;
            break;
        default:
            break;
        }
        break;
    case QEvent::Wheel:
        if (!ChangeAllowed()) return true;
        break;
    default:
        break;
    }
    return QTabWidget::eventFilter(watched, event);
}

void TTabContainer::keyPressEvent(QKeyEvent* event)
{
    // Ctrl+Tab and friends switch tabs from anywhere in the container.
    if ((event->modifiers() & Qt::ControlModifier) &&
        (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab ||
         event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) &&
        !ChangeAllowed()) {
        event->accept();
        return;
    }
    QTabWidget::keyPressEvent(event);
}
