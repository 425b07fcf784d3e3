#ifndef EDITCONTROLLERDIALOG_H
#define EDITCONTROLLERDIALOG_H

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class EditControllerDialog;
}
class DataSupply;
class MapModel;

// The editor's readings of its fields: whatever the user typed is taken, with the values
// below for text that means nothing.

// "Orvex Interface", "Orvex Broadcast Interface" or "Unknown Interface Type".
QString interfaceTypeText(int type);
// The version list's row for a protocol version; 0 ("Orvex v1") for any other version.
int versionRow(quint16 protocolVersion);
// 1, 2 or 3 for "Orvex v1" .. "Orvex v3" in any case; 0 otherwise.
quint16 protocolVersionFromText(const QString &text);
// Decimal text as a universe; 0 when it is not a number.
quint32 universeFromText(const QString &text);

// Shows one interface of the map and writes every field back on OK; Cancel writes nothing.
class EditControllerDialog : public QDialog
{
    Q_OBJECT
public:
    EditControllerDialog(MapModel *map, DataSupply *interface, QWidget *parent = nullptr);
    ~EditControllerDialog() override;

public slots:
    void handleReject();
    void handleAccept();

private:
    std::unique_ptr<Ui::EditControllerDialog> ui;
    MapModel *m_map;
    DataSupply *m_interface;
};

#endif // EDITCONTROLLERDIALOG_H
