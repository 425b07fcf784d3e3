#include "undomanager.h"

#include "layoutview.h"
#include "undoaction.h"
#include "undoactionlist.h"

#include "model/light.h"
#include "model/mapmodel.h"

UndoManager::UndoManager(MapModel *map) : m_map(map)
{
    if (m_map) {
        connect(this, &UndoManager::updatedLight, m_map, &MapModel::updatedLight);
        connect(m_map, &MapModel::clearedMap, this, &UndoManager::clear);
    }
}

UndoManager::~UndoManager()
{
    qDeleteAll(m_undoStack);
    qDeleteAll(m_redoStack);
}

void UndoManager::announce()
{
    emit undoEnabled(!m_undoStack.isEmpty());
    emit redoEnabled(!m_redoStack.isEmpty());
}

void UndoManager::addUndoActionList(UndoActionList *ual)
{
    if (!ual)
        return;
    if (ual->isEmpty()) {
        delete ual; // nothing to undo; the list is ours all the same
        return;
    }
    qDeleteAll(m_redoStack);
    m_redoStack.clear();
    m_undoStack.prepend(ual);
    announce();
}

void UndoManager::undo()
{
    if (!m_undoStack.isEmpty()) {
        UndoActionList *ual = m_undoStack.takeFirst();
        apply(ual);
        m_redoStack.prepend(ual);
    }
    announce();
}

void UndoManager::redo()
{
    if (!m_redoStack.isEmpty()) {
        UndoActionList *ual = m_redoStack.takeFirst();
        apply(ual);
        m_undoStack.prepend(ual);
    }
    announce();
}

void UndoManager::clear()
{
    qDeleteAll(m_undoStack);
    qDeleteAll(m_redoStack);
    m_undoStack.clear();
    m_redoStack.clear();
    announce();
}

void UndoManager::apply(UndoActionList *ual)
{
    for (UndoAction *ua : std::as_const(*ual))
        undoAction(ua);
}

void UndoManager::undoAction(UndoAction *ua)
{
    if (!ua || !m_layoutView || !m_map || ua->kind != UndoAction::LightPosition)
        return;
    Light *light = m_map->light(ua->uid);
    if (!light)
        return;
    const LightPose kept = light->pose();
    light->setPose(ua->pose);
    m_layoutView->refreshLightItem(ua->uid);
    ua->pose = kept;
}
