#ifndef VEYCOLORLIBRARY_H
#define VEYCOLORLIBRARY_H

#include <QAbstractItemModel>
#include <QPixmap>

#include <functional>

class VeyColor;
class VeyColorLibraryItem;

// The process-wide library of named colour lists: a root, under it the lists, under each list
// its colours. Views reach the lists through rootIndex(). Lists the user owns are written to
// "userColors.xml" once saving is enabled.
class VeyColorLibrary : public QAbstractItemModel
{
    Q_OBJECT

public:
    using SwatchRenderer = std::function<QPixmap(const VeyColor &)>;

    static VeyColorLibrary *instance();
    ~VeyColorLibrary() override;

    QModelIndex index(int row, int column, const QModelIndex &parent) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent) const override;
    int columnCount(const QModelIndex &parent) const override;
    bool hasChildren(const QModelIndex &parent) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool insertRows(int row, int count, const QModelIndex &parent) override;
    bool removeRows(int row, int count, const QModelIndex &parent) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The index of the root item, whose children are the lists.
    QModelIndex rootIndex() const;
    VeyColorLibraryItem *rootItem() const { return m_root; }

    bool isSavingEnabled() const { return m_savingEnabled; }
    void setSavingEnabled(bool enabled) { m_savingEnabled = enabled; }
    // The folder of the user colour file: the platform's application-data location, then
    // "Marrowby Quorvane".
    static QString userColorFolder();
    // Puts the user colour file under base instead (tests); an empty base restores the default.
    static void setUserColorBaseFolder(const QString &base);
    // Writes the user lists now; false (with a warning) when the file could not be written, in
    // which case the old file is left as it was. True when saving is disabled. Changes to the
    // lists do not call this directly: they request a save, and every request made before
    // control returns to the event loop is written once.
    bool saveUserColors();

    static const SwatchRenderer &swatchRenderer();
    static void setSwatchRenderer(SwatchRenderer renderer);

public slots:
    void onColorLibraryListChanged(QString listId);
    void createColorList(QString colorListName, bool isUserList);
    void handleInsertColor(QString uid, QString name, QString valueString,
                           QString originatingPreset, QString listId, QString vendorID);

signals:
    void changed(QString listId);
    void addedColorToList(QModelIndex listId);
    // The user colour file was written.
    void userColorsSaved();

private:
    VeyColorLibrary();

    VeyColorLibraryItem *itemOf(const QModelIndex &index) const;
    QModelIndex indexOf(VeyColorLibraryItem *item, int column = 0) const;
    bool isUserList(const QModelIndex &index) const;
    void emitChangedUnlessRoot(const QModelIndex &index);
    VeyColorLibraryItem *topLevelList(const QString &name) const;
    VeyColorLibraryItem *colorWithUid(const QString &uid) const;
    void requestSave();
    void savePendingColors();

    VeyColorLibraryItem *m_root;
    bool m_destroying = false;
    bool m_savingEnabled = false;
    bool m_savePending = false;
};

#endif // VEYCOLORLIBRARY_H
