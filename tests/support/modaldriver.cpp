#include "support/modaldriver.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QTimer>

#include <deque>

struct ModalDriver::State
{
    std::deque<Action> actions;
    QList<QPointer<QWidget>> handled;
    QTimer poll;
    QElapsedTimer sinceLastAction;
    int timeoutMs = 5000;
    bool timedOut = false;

    bool alreadyHandled(QWidget *w) const
    {
        for (const QPointer<QWidget> &p : handled)
            if (p == w)
                return true;
        return false;
    }

    void tick()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && !actions.empty() && !alreadyHandled(modal) && modal->isVisible()) {
            handled << modal;
            Action next = std::move(actions.front());
            actions.pop_front();
            sinceLastAction.restart();
            next(modal);
            return;
        }
        if (modal && sinceLastAction.elapsed() > timeoutMs) {
            timedOut = true;
            actions.clear();
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
        }
    }
};

ModalDriver::ModalDriver(int timeoutMs) : d(new State)
{
    d->timeoutMs = timeoutMs;
    d->sinceLastAction.start();
    d->poll.setInterval(5);
    QObject::connect(&d->poll, &QTimer::timeout, [this] { d->tick(); });
    d->poll.start();
}

ModalDriver::~ModalDriver()
{
    delete d;
}

void ModalDriver::then(Action action)
{
    d->actions.push_back(std::move(action));
}

int ModalDriver::pending() const
{
    return int(d->actions.size());
}

bool ModalDriver::timedOut() const
{
    return d->timedOut;
}
