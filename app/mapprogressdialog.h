#ifndef MAPPROGRESSDIALOG_H
#define MAPPROGRESSDIALOG_H

#include <QString>

class QProgressDialog;

// The progress dialog that the main window and the light tree put up around a map model's
// long operations (clear, delete with lights, load, save). It is fed from the model's progress
// signals, closes itself when the count reaches its maximum, and lets pending events run
// after each step so the window stays responsive.
class MapProgressDialog
{
public:
    MapProgressDialog() = default;
    ~MapProgressDialog();
    MapProgressDialog(const MapProgressDialog &) = delete;
    MapProgressDialog &operator=(const MapProgressDialog &) = delete;

    // Puts up a fresh dialog, replacing one that is still up.
    void open();
    void close();

    void start(int min, int max, const QString &title);
    void update(int value);
    // An empty title leaves the current one.
    void setTitle(const QString &title);

private:
    QProgressDialog *m_dialog = nullptr;
};

#endif // MAPPROGRESSDIALOG_H
