#include "TabContainer.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTabBar>

TTabContainer::TTabContainer(QWidget* parent) : QTabWidget(parent)
{
    tabBar()->installEventFilter(this);
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
