#ifndef EDITPREFERENCESDIALOG_H
#define EDITPREFERENCESDIALOG_H

#include <QDialog>

#include <memory>

namespace Ui {
class EditPreferencesDialog;
}

// The application's preferences: the main window fills every field, runs the dialog and, when
// it is accepted, reads every field back. Out-of-range values are clamped by the spin boxes.
class EditPreferencesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit EditPreferencesDialog(QWidget *parent = nullptr);
    ~EditPreferencesDialog() override;

    int frameRate() const;
    int canvasWidth() const;
    int canvasHeight() const;
    int gridSize() const;
    int recentMapsCount() const;
    bool keepRecentMaps() const;

    void setFrameRate(int value);
    void setCanvasWidth(int value);
    void setCanvasHeight(int value);
    void setGridSize(int value);
    void setRecentMapsCount(int value);
    void setKeepRecentMaps(bool keep);

public slots:
    void okButtonClicked();
    void cancelButtonClicked();

private:
    std::unique_ptr<Ui::EditPreferencesDialog> ui;
};

#endif // EDITPREFERENCESDIALOG_H
