#ifndef DISCOVERLIGHTSDISCOVERPAGE_H
#define DISCOVERLIGHTSDISCOVERPAGE_H

// Complete types: the signals and slots carry these pointers.
#include "model/datasupply.h"
#include "model/light.h"

#include <QList>
#include <QWizardPage>

#include <memory>

namespace Ui {
class DiscoverLightsDiscoverPage;
}

// The lights wizard's second page: starts a scan of the chosen interface and counts what it
// finds. Leaving it forward asks the wizard to read the found lights.
class DiscoverLightsDiscoverPage : public QWizardPage
{
    Q_OBJECT
public:
    explicit DiscoverLightsDiscoverPage(QWidget *parent = nullptr);
    ~DiscoverLightsDiscoverPage() override;

    bool isComplete() const override { return m_complete; }
    void initializePage() override;
    bool validatePage() override;
    int lightCount() const;

signals:
    void startDiscovery();
    void startRead();

public slots:
    void handleDiscoveryStarting();
    void handleDiscoveryComplete();
    void handleSelectedControllerChanged(DataSupply *ds);
    void handleDiscoveredLight(Light *light);
    void handleDiscoveredLights(const QList<Light *> &lights);
    void handleRemoveLight(Light *light);
    // Whether the lights are being counted, and what came of it; empty hides the line.
    void showCountStatus(const QString &text);

private:
    void addToCount(int n);

    std::unique_ptr<Ui::DiscoverLightsDiscoverPage> ui;
    bool m_complete = false;
};

#endif // DISCOVERLIGHTSDISCOVERPAGE_H
