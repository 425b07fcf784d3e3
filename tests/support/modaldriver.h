#ifndef MODALDRIVER_H
#define MODALDRIVER_H

#include <QApplication>
#include <QString>
#include <QWidget>

#include <functional>

// Drives modal dialogs that a call under test opens and waits on (exec()): the action runs
// once, on the event loop, as soon as a modal widget other than the ones already showing is
// up. Actions queue, so a test can script a chain of nested dialogs before making the call.
// A dialog that never shows fails the test with a message instead of hanging: after
// timeoutMs the pending actions are dropped and every modal widget is rejected.
class ModalDriver
{
public:
    using Action = std::function<void(QWidget *modal)>;

    explicit ModalDriver(int timeoutMs = 5000);
    ~ModalDriver();

    // Queues action for the next modal widget that opens.
    void then(Action action);
    // The number of queued actions that have not run yet (a test checks it is 0 at the end).
    int pending() const;
    // Whether a modal widget outlived the timeout and had to be closed.
    bool timedOut() const;

private:
    struct State;
    State *d;
};

// The child of root with this object name and type, or null. Every lookup a dialog test makes
// goes through the object names the forms give.
template <class T> T *widgetNamed(QWidget *root, const QString &name)
{
    return root ? root->findChild<T *>(name) : nullptr;
}

#endif // MODALDRIVER_H
