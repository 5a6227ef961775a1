#pragma once

#include "profiles/parametergrid.h"
#include "ui/sizeform.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <optional>

class IInteractive;
class ParameterEditors;
class QComboBox;
class ValueListGrid;

// The profile of the main window: the profile list, the parameter grids it
// loads and the extension it gives outputs, and the custom size asked for
// when "Video Size" becomes "Custom Size".
class ProfileController final : public QObject
{
    Q_OBJECT
public:
    ProfileController(const QString &programFolder, IInteractive &interactive, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(ProfileController)

    ParameterGrids &grids() { return m_grids; }
    QString outputExt() const { return m_outputExt; }

    // Joins the window's profile list and grids and fills the list; nothing
    // is selected yet.
    void attach(QComboBox *profiles, ParameterEditors *editors, ValueListGrid *videoGrid);
    void setSizeForm(TSizeForm *form) { m_sizeForm = form; }

    // Loads the profile the list shows into the grids.
    void load();
    // Selects the item and loads it, unless it is selected already (force:
    // loads it all the same).
    void select(int index, bool force = false);
    // Selects the item of that name; false when there is none.
    bool selectByName(const QString &name);
    // Adds an item without loading anything: the grids keep what the user
    // set there.
    void insertItem(int position, const QString &name);
    // A change in the Video grid: a choice of "Custom Size" on its own row
    // asks for the size.
    void videoValuesChanged();

    // The engine's parameters of the selected profile with the grids' values;
    // nothing when the profile is malformed (reported already).
    std::optional<QString> parameters() const;

private:
    QString m_programFolder;
    IInteractive &m_interactive;
    ParameterGrids m_grids;
    QString m_outputExt;
    QComboBox *m_profiles = nullptr;
    ParameterEditors *m_editors = nullptr;
    ValueListGrid *m_video = nullptr;
    QPointer<TSizeForm> m_sizeForm;
};
